#include "Codec/MacroJsonEncoder.h"

#include "Codec/CanonicalUuid.h"
#include "Codec/IsoDate.h"
#include "Codec/ScreenWaitText.h"
#include "Models/Overloaded.h"

#include <cstdio>

#include <optional>

namespace {

// Writes one macro; on a non-finite number stops and records where it was.
class Encoder
{
public:
    explicit Encoder(JsonWriter& writer) : m_out(writer) {}

    std::optional<EncodingError> error() const { return m_error; }

    bool macro(const Macro& m, qsizetype macroIndex)
    {
        m_macro = macroIndex;
        m_out.beginObject();
        m_out.key("actions");
        m_out.beginArray();
        for (std::size_t i = 0; i < m.actions.size(); ++i) {
            m_action = qsizetype(i);
            if (!action(m.actions[i]))
                return false;
        }
        m_action = -1;
        m_out.endArray();
        m_out.key("id");
        char id[38];
        id[0] = id[37] = '"';
        CanonicalUuid::write(m.id, id + 1);
        m_out.raw({id, 38});
        m_out.key("metadata");
        if (!metadata(m.metadata))
            return false;
        m_out.key("version");
        m_out.integer(m.version);
        m_out.endObject();
        return true;
    }

private:
    bool number(std::string_view key, double value)
    {
        m_out.key(key);
        if (m_out.number(value))
            return true;
        QString where;
        if (m_macro >= 0)
            where += QStringLiteral("macro %1, ").arg(m_macro + 1);
        where += m_action >= 0 ? QStringLiteral("action %1: ").arg(m_action + 1)
                               : QStringLiteral("metadata: ");
        m_error = EncodingError{where + QStringLiteral("\"%1\" is %2, which has no JSON form")
                                            .arg(QLatin1String(key.data(), qsizetype(key.size())),
                                                 QString::number(value))};
        return false;
    }

    void date(std::string_view key, const QDateTime& value)
    {
        m_out.key(key);
        char text[22];
        text[0] = text[21] = '"';
        IsoDate::write(value, text + 1);
        m_out.raw({text, 22});
    }

    bool metadata(const MacroMetadata& meta)
    {
        m_out.beginObject();
        m_out.key("actionCount");
        m_out.integer(meta.actionCount);
        date("createdAt", meta.createdAt);
        if (!number("durationSeconds", meta.durationSeconds))
            return false;
        date("modifiedAt", meta.modifiedAt);
        m_out.key("name");
        m_out.string(meta.name);
        if (!meta.outputs.empty()) {
            m_out.key("outputs");
            m_out.beginArray();
            for (const ScreenOutput& o : meta.outputs) {
                m_out.beginObject();
                if (!number("height", o.height))
                    return false;
                m_out.key("name");
                m_out.string(o.name);
                if (!number("scale", o.scale) || !number("width", o.width) || !number("x", o.x) || !number("y", o.y))
                    return false;
                m_out.endObject();
            }
            m_out.endArray();
        }
        if (meta.recording) {
            m_out.key("recording");
            m_out.beginObject();
            m_out.key("keyboard");
            m_out.boolean(meta.recording->keyboard);
            m_out.key("mouse");
            m_out.boolean(meta.recording->mouse);
            m_out.key("moveIntervalMs");
            m_out.integer(meta.recording->moveIntervalMs);
            m_out.endObject();
        }
        m_out.key("tags");
        m_out.beginArray();
        for (const QString& tag : meta.tags)
            m_out.string(tag);
        m_out.endArray();
        m_out.endObject();
        return true;
    }

    bool key(const char* type, double timestamp, std::uint16_t keyCode, std::uint64_t flags)
    {
        m_out.key("flags");
        m_out.unsignedInteger(flags);
        m_out.key("keyCode");
        m_out.integer(keyCode);
        return typeAndTime(type, timestamp);
    }

    bool typeAndTime(std::string_view type, double timestamp)
    {
        if (!number("timestamp", timestamp))
            return false;
        m_out.key("type");
        m_out.string(type);
        return true;
    }

    bool pointer(std::string_view type, double timestamp, double x, double y,
                 std::optional<MouseButton> button, std::uint64_t flags = 0, const ClickSight* sight = nullptr)
    {
        if (button) {
            m_out.key("button");
            m_out.string(mouseButtonText(*button));
        }
        modifierFlags(flags);
        if (sight && !writeSight(*sight))
            return false;
        return typeAndTime(type, timestamp) && number("x", x) && number("y", y);
    }

    // "x", "y", "width", "height" in key order: height, (others between), width, x, y.
    bool rectEnd(const QRectF& r) { return number("width", r.width()) && number("x", r.x()) && number("y", r.y()); }

    bool writeSight(const ClickSight& sight)
    {
        m_out.key("sight");
        m_out.beginObject();
        if (!number("height", sight.area.height()))
            return false;
        m_out.key("png");
        m_out.string(std::string_view(sight.png.toBase64().constData()));
        if (sight.threshold > 0 && !number("threshold", sight.threshold))
            return false;
        if (!number("width", sight.area.width()))
            return false;
        if (!sight.windowApp.isEmpty()) {
            m_out.key("window");
            m_out.beginObject();
            m_out.key("app");
            m_out.string(sight.windowApp);
            if (!number("height", sight.windowArea.height()))
                return false;
            m_out.key("title");
            m_out.string(sight.windowTitle);
            if (!rectEnd(sight.windowArea))
                return false;
            m_out.endObject();
        }
        if (!number("x", sight.area.x()) || !number("y", sight.area.y()))
            return false;
        m_out.endObject();
        return true;
    }

    bool area(std::string_view key, const QRectF& r)
    {
        m_out.key(key);
        m_out.beginObject();
        const bool written = number("height", r.height()) && rectEnd(r);
        m_out.endObject();
        return written;
    }

    // A hand-made wait: only the keys of its kind, in key order like every object.
    bool wait(double t, const ScreenWait& w)
    {
        using K = ScreenWait::Kind;
        auto optionalText = [&](std::string_view key, const QString& value) {
            if (!value.isEmpty()) {
                m_out.key(key);
                m_out.string(value);
            }
        };
        if (w.kind == K::image || w.kind == K::window) {
            optionalText("app", w.app);
            optionalText("appName", w.appName);
        }
        if ((w.kind == K::image || (w.kind == K::settle && !w.area.isEmpty())) && !area("area", w.area))
            return false;
        if (w.kind == K::color) {
            char text[8];
            std::snprintf(text, sizeof text, "#%06x", unsigned(w.color & 0xffffff));
            m_out.key("color");
            m_out.string(std::string_view(text, 7));
        }
        if (w.kind == K::window) {
            m_out.key("event");
            m_out.string(ScreenWaitText::event(w.event));
        }
        m_out.key("for");
        m_out.string(ScreenWaitText::kind(w.kind));
        m_out.key("onTimeout");
        m_out.string(w.stopOnTimeout ? std::string_view("stop") : std::string_view("continue"));
        if (w.kind == K::image) {
            m_out.key("png");
            m_out.string(std::string_view(w.png.toBase64().constData()));
        }
        if (w.kind == K::color) {
            m_out.key("point");
            m_out.beginObject();
            if (!number("x", w.area.x()) || !number("y", w.area.y()))
                return false;
            m_out.endObject();
        }
        if (w.kind == K::settle) {
            m_out.key("quietMs");
            m_out.integer(w.quietMs);
        }
        if (w.kind == K::image && w.threshold > 0 && !number("threshold", w.threshold))
            return false;
        if (!number("timeout", w.timeout) || !number("timestamp", t))
            return false;
        if (w.kind == K::window) {
            optionalText("title", w.title);
            m_out.key("titleMatch");
            m_out.string(ScreenWaitText::titleMatch(w.titleMatch));
        }
        if (w.kind == K::color) {
            m_out.key("tolerance");
            m_out.integer(w.tolerance);
        }
        m_out.key("type");
        m_out.string(actionTypeText(ActionType::wait));
        return true;
    }

    // Mouse and wheel actions carry "flags" only when a modifier was held, so files
    // without modifier-clicks stay as they always were.
    void modifierFlags(std::uint64_t flags)
    {
        if (flags == 0)
            return;
        m_out.key("flags");
        m_out.unsignedInteger(flags);
    }

    bool action(const MacroAction& a)
    {
        using A = MacroAction;
        // A step from a newer Quillo goes back exactly as it was read.
        if (const auto* unknown = std::get_if<A::Unknown>(&a.payload)) {
            m_out.raw(std::string_view(unknown->json().constData(), std::size_t(unknown->json().size())));
            return true;
        }
        const std::string_view type = actionTypeText(a.type());
        const double t = a.timestamp;
        m_out.beginObject();
        const bool written = std::visit(
            Overloaded{
                [&](const A::KeyDown& k) { return key("keyDown", t, k.keyCode, k.flags); },
                [&](const A::KeyUp& k) { return key("keyUp", t, k.keyCode, k.flags); },
                [&](const A::MouseMove& m) { return pointer(type, t, m.x, m.y, std::nullopt); },
                [&](const A::MouseDown& m) { return pointer(type, t, m.x, m.y, m.button, m.flags, m.sight.get()); },
                [&](const A::MouseUp& m) { return pointer(type, t, m.x, m.y, m.button, m.flags); },
                [&](const A::MouseDrag& m) { return pointer(type, t, m.x, m.y, m.button, m.flags); },
                [&](const A::Scroll& s) {
                    m_out.key("deltaX");
                    m_out.integer(s.deltaX);
                    m_out.key("deltaY");
                    m_out.integer(s.deltaY);
                    modifierFlags(s.flags);
                    return typeAndTime(type, t) && number("x", s.x) && number("y", s.y);
                },
                [&](const A::WindowFocus& f) {
                    m_out.key("appName");
                    m_out.string(f.appName());
                    m_out.key("bundleID");
                    m_out.string(f.bundleID());
                    return typeAndTime(type, t);
                },
                [&](const A::Delay& d) {
                    return number("duration", d.duration) && typeAndTime(type, t);
                },
                [&](const A::Wait& w) { return wait(t, w.get()); },
                [&](const A::Unknown&) { return false; }, // written above
            },
            a.payload);
        if (written)
            m_out.endObject();
        return written;
    }

    JsonWriter& m_out;
    std::optional<EncodingError> m_error;
    qsizetype m_macro = -1;
    qsizetype m_action = -1;
};

// A first guess of the output size saves most of the buffer's regrowth.
qsizetype expectedSize(std::size_t actionCount, JsonWriter::Layout layout)
{
    return qsizetype(512 + actionCount * (layout == JsonWriter::Layout::indented ? 120 : 70));
}

} // namespace

Expected<QByteArray, EncodingError>
MacroJsonEncoder::encodeLibrary(const std::vector<Macro>& macros, Layout layout)
{
    std::size_t actionCount = 0;
    for (const Macro& m : macros)
        actionCount += m.actions.size();
    JsonWriter writer(layout, expectedSize(actionCount, layout));
    Encoder encoder(writer);
    writer.beginArray();
    for (std::size_t i = 0; i < macros.size(); ++i) {
        if (!encoder.macro(macros[i], qsizetype(i)))
            return failure(*encoder.error());
    }
    writer.endArray();
    return writer.take();
}

Expected<QByteArray, EncodingError> MacroJsonEncoder::encodeMacro(const Macro& macro, Layout layout)
{
    JsonWriter writer(layout, expectedSize(macro.actions.size(), layout));
    Encoder encoder(writer);
    if (!encoder.macro(macro, -1))
        return failure(*encoder.error());
    return writer.take();
}
