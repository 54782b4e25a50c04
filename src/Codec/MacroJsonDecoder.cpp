#include "Codec/MacroJsonDecoder.h"

#include "Codec/CanonicalUuid.h"
#include "Codec/IsoDate.h"
#include "Codec/JsonArraySplitter.h"
#include "Codec/PngCodec.h"
#include "Codec/ScreenWaitText.h"

#include <QRegularExpression>
#include <QStringList>

#include <array>
#include <charconv>
#include <limits>
#include <simdjson.h>

static_assert(MacroJsonDecoder::paddingBytes >= simdjson::SIMDJSON_PADDING);

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

QString quoted(std::string_view text)
{
    return QLatin1Char('"') + QString::fromUtf8(text.data(), qsizetype(text.size())) +
           QLatin1Char('"');
}

QString typeName(element_type type)
{
    switch (type) {
    case element_type::ARRAY:
        return QStringLiteral("an array");
    case element_type::OBJECT:
        return QStringLiteral("an object");
    case element_type::INT64:
    case element_type::UINT64:
    case element_type::DOUBLE:
        return QStringLiteral("a number");
    case element_type::STRING:
        return QStringLiteral("a string");
    case element_type::BOOL:
        return QStringLiteral("a boolean");
    case element_type::NULL_VALUE:
        return QStringLiteral("null");
    }
    return QStringLiteral("a value");
}

// The JSON text of a number element, for messages.
QString numberText(const element& e)
{
    switch (e.type()) {
    case element_type::INT64:
        return QString::number(qint64(e.get_int64().value_unsafe()));
    case element_type::UINT64:
        return QString::number(quint64(e.get_uint64().value_unsafe()));
    default: {
        // A whole number written with a fraction (1.0) shows that it was one.
        char buffer[40];
        char* end = std::to_chars(buffer, buffer + 32, e.get_double().value_unsafe()).ptr;
        if (std::string_view(buffer, std::size_t(end - buffer)).find_first_of(".e") ==
            std::string_view::npos)
            end = std::copy_n(".0", 2, end);
        return QString::fromLatin1(buffer, end - buffer);
    }
    }
}

// The keys an action object may hold. Each object is read in one pass into these slots;
// only the slots of the action's own kind are then examined.
enum Slot : unsigned
{
    sType,
    sTimestamp,
    sKeyCode,
    sFlags,
    sX,
    sY,
    sButton,
    sDeltaX,
    sDeltaY,
    sBundleID,
    sAppName,
    sDuration,
    sSight,
    slotCount
};

constexpr std::array<std::string_view, slotCount> kSlotKeys = {
    "type",   "timestamp", "keyCode", "flags",    "x",       "y",
    "button", "deltaX",    "deltaY",  "bundleID", "appName", "duration", "sight",
};

Slot slotOf(std::string_view key)
{
    for (unsigned i = 0; i < slotCount; ++i) {
        if (kSlotKeys[i] == key)
            return Slot(i);
    }
    return slotCount;
}

// Reads one macro element; on the first problem, stops with a message that names
// where it is ("macro 2, action 17: ...").
class MacroReader
{
public:
    explicit MacroReader(qsizetype macroNumber) : m_macro(macroNumber) {}

    const QString& error() const { return m_error; }

    bool readMacro(const element& root, Macro& out)
    {
        object obj;
        if (root.get_object().get(obj))
            return fail(
                QStringLiteral("expected a macro object but found %1").arg(typeName(root.type())));
        element value;
        if (!field(obj, "id", value) || !uuid(value, "id", out.id))
            return false;
        if (!field(obj, "version", value) ||
            !integer(value, "version", std::numeric_limits<qint64>::min(),
                     std::numeric_limits<qint64>::max(), out.version))
            return false;
        if (!field(obj, "metadata", value))
            return false;
        m_section = Section::metadata;
        if (!readMetadata(value, out.metadata))
            return false;
        m_section = Section::macro;
        if (!field(obj, "actions", value))
            return false;
        simdjson::dom::array actions;
        if (value.get_array().get(actions))
            return wrongType("actions", value, "an array");
        out.actions.reserve(actions.size());
        m_section = Section::action;
        m_action = 0;
        for (element a : actions) {
            ++m_action;
            if (!readAction(a, out.actions.emplace_back()))
                return false;
        }
        return true;
    }

private:
    enum class Section
    {
        macro,
        metadata,
        action
    };

    QString where() const
    {
        QString text;
        if (m_macro > 0)
            text = QStringLiteral("macro %1").arg(m_macro);
        if (m_section == Section::macro)
            return text;
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        return text + (m_section == Section::metadata ? QStringLiteral("metadata")
                                                      : QStringLiteral("action %1").arg(m_action));
    }

    bool fail(const QString& what)
    {
        const QString place = where();
        m_error = place.isEmpty() ? what : place + QStringLiteral(": ") + what;
        return false;
    }

    bool wrongType(std::string_view key, const element& value, const char* expected)
    {
        return fail(QStringLiteral("%1 must be %2 but is %3")
                        .arg(quoted(key), QLatin1String(expected), typeName(value.type())));
    }

    bool field(const object& obj, std::string_view key, element& out)
    {
        if (obj.at_key(key).get(out))
            return fail(QStringLiteral("missing key %1").arg(quoted(key)));
        return true;
    }

    bool text(const element& value, std::string_view key, QString& out)
    {
        std::string_view s;
        if (value.get_string().get(s))
            return wrongType(key, value, "a string");
        out = QString::fromUtf8(s.data(), qsizetype(s.size()));
        return true;
    }

    bool number(const element& value, std::string_view key, double& out)
    {
        if (value.get_double().get(out))
            return wrongType(key, value, "a number");
        return true;
    }

    template <typename Int>
    bool integer(const element& value, std::string_view key, Int min, Int max, Int& out)
    {
        const element_type type = value.type();
        if (type == element_type::DOUBLE)
            return fail(
                QStringLiteral("%1 %2 is not an integer").arg(quoted(key), numberText(value)));
        bool inRange = false;
        if (type == element_type::INT64) {
            const std::int64_t v = value.get_int64().value_unsafe();
            if constexpr (std::is_signed_v<Int>)
                inRange = v >= std::int64_t(min) && v <= std::int64_t(max);
            else
                inRange = v >= 0 && std::uint64_t(v) <= std::uint64_t(max);
            out = Int(v);
        } else if (type == element_type::UINT64) {
            const std::uint64_t v = value.get_uint64().value_unsafe();
            inRange = v <= std::uint64_t(max);
            out = Int(v);
        } else {
            return wrongType(key, value, "an integer");
        }
        if (!inRange)
            return fail(QStringLiteral("%1 %2 is out of range %3\u2026%4")
                            .arg(quoted(key), numberText(value), QString::number(min),
                                 QString::number(max)));
        return true;
    }

    bool uuid(const element& value, std::string_view key, QUuid& out)
    {
        std::string_view s;
        if (value.get_string().get(s))
            return wrongType(key, value, "a string");
        const auto id = CanonicalUuid::parse(s);
        if (!id)
            return fail(QStringLiteral("%1 %2 is not an identifier of the form "
                                       "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX")
                            .arg(quoted(key), quoted(s)));
        out = *id;
        return true;
    }

    bool date(const object& obj, std::string_view key, QDateTime& out)
    {
        element value;
        if (!field(obj, key, value))
            return false;
        std::string_view s;
        if (value.get_string().get(s))
            return wrongType(key, value, "a date string");
        const auto parsed = IsoDate::parse(s);
        if (!parsed)
            return fail(QStringLiteral("%1 %2 is not a date of the form 2026-01-31T09:30:00Z")
                            .arg(quoted(key), quoted(s)));
        out = *parsed;
        return true;
    }

    bool readMetadata(const element& root, MacroMetadata& out)
    {
        object obj;
        if (root.get_object().get(obj))
            return fail(
                QStringLiteral("expected an object but found %1").arg(typeName(root.type())));
        element value;
        if (!field(obj, "name", value) || !text(value, "name", out.name))
            return false;
        if (!date(obj, "createdAt", out.createdAt) || !date(obj, "modifiedAt", out.modifiedAt))
            return false;
        if (!field(obj, "actionCount", value) ||
            !integer(value, "actionCount", std::numeric_limits<qint64>::min(),
                     std::numeric_limits<qint64>::max(), out.actionCount))
            return false;
        if (!field(obj, "durationSeconds", value) ||
            !number(value, "durationSeconds", out.durationSeconds))
            return false;
        // Optional: the screen layout of the recording.
        if (!obj["outputs"].get(value)) {
            simdjson::dom::array outputs;
            if (value.get_array().get(outputs))
                return wrongType("outputs", value, "an array of objects");
            for (element item : outputs) {
                object o;
                if (item.get_object().get(o))
                    return wrongType("outputs", item, "an array of objects");
                ScreenOutput& out_ = out.outputs.emplace_back();
                element part;
                if (!field(o, "name", part) || !text(part, "name", out_.name))
                    return false;
                for (const auto& [key, target] : {std::pair<const char*, double*>{"x", &out_.x}, {"y", &out_.y},
                                                  {"width", &out_.width}, {"height", &out_.height},
                                                  {"scale", &out_.scale}})
                    if (!field(o, key, part) || !number(part, key, *target))
                        return false;
            }
        }
        // Optional: how it was recorded.
        if (!obj["recording"].get(value)) {
            object o;
            if (value.get_object().get(o))
                return wrongType("recording", value, "an object");
            RecordingOptions& options = out.recording.emplace();
            element part;
            for (const auto& [key, target] : {std::pair<const char*, bool*>{"keyboard", &options.keyboard},
                                              {"mouse", &options.mouse}}) {
                if (!field(o, key, part))
                    return false;
                if (part.get_bool().get(*target))
                    return wrongType(key, part, "true or false");
            }
            if (!field(o, "moveIntervalMs", part) ||
                !integer(part, "moveIntervalMs", 0, RecordingOptions::maxMoveIntervalMs, options.moveIntervalMs))
                return false;
            if (!options.keyboard && !options.mouse)
                return fail(QStringLiteral("\"recording\" takes in neither keyboard nor mouse"));
        }
        if (!field(obj, "tags", value))
            return false;
        simdjson::dom::array tags;
        if (value.get_array().get(tags))
            return wrongType("tags", value, "an array of strings");
        out.tags.reserve(qsizetype(tags.size()));
        for (element tag : tags) {
            if (!text(tag, "tags", out.tags.emplace_back()))
                return false;
        }
        return true;
    }

    bool need(Slot slot)
    {
        if (m_present & (1u << slot))
            return true;
        return fail(QStringLiteral("missing key %1").arg(quoted(kSlotKeys[slot])));
    }

    bool number(Slot slot, double& out)
    {
        return need(slot) && number(m_slots[slot], kSlotKeys[slot], out);
    }

    bool button(MouseButton& out)
    {
        if (!need(sButton))
            return false;
        std::string_view s;
        if (m_slots[sButton].get_string().get(s))
            return wrongType("button", m_slots[sButton], "a string");
        const auto b = mouseButtonFromText(s);
        if (!b)
            return fail(
                QStringLiteral("\"button\" %1 is not one of \"left\", \"right\", \"middle\"")
                    .arg(quoted(s)));
        out = *b;
        return true;
    }

    template <typename Key> bool key(Key& out)
    {
        return need(sKeyCode) && need(sFlags) &&
               integer<std::uint16_t>(m_slots[sKeyCode], "keyCode", 0, 65535, out.keyCode) &&
               integer<std::uint64_t>(m_slots[sFlags], "flags", 0,
                                      std::numeric_limits<std::uint64_t>::max(), out.flags);
    }

    template <typename Pointer> bool pointer(Pointer& out)
    {
        return number(sX, out.x) && number(sY, out.y);
    }

    template <typename Pointer> bool pointerWithButton(Pointer& out)
    {
        return pointer(out) && button(out.button) && optionalFlags(out.flags);
    }

    // Mouse and wheel actions: "flags" may be absent (no modifier held).
    bool optionalFlags(std::uint64_t& out)
    {
        out = 0;
        if (!(m_present & (1u << sFlags)))
            return true;
        return integer<std::uint64_t>(m_slots[sFlags], "flags", 0, std::numeric_limits<std::uint64_t>::max(), out);
    }

    // A press may carry what the screen showed around it. The picture is checked by its
    // size and header only: nothing is inflated while a file is read.
    bool optionalSight(SightRef& out)
    {
        if (!(m_present & (1u << sSight)))
            return true;
        object o;
        if (m_slots[sSight].get_object().get(o))
            return wrongType("sight", m_slots[sSight], "an object");
        ClickSight sight;
        element part;
        if (!field(o, "png", part) || !picture(part, QStringLiteral("press"), sight.png))
            return false;
        if (!rect(o, sight.area) || !optionalThreshold(o, sight.threshold))
            return false;
        if (!o["window"].get(part)) {
            object w;
            if (part.get_object().get(w))
                return wrongType("window", part, "an object");
            element value;
            if (!field(w, "app", value) || !text(value, "app", sight.windowApp) || !field(w, "title", value) ||
                !text(value, "title", sight.windowTitle) || !rect(w, sight.windowArea))
                return false;
        }
        out = SightRef(std::move(sight));
        return true;
    }

    // A picture in Base64, checked by its size and its PNG header only (never inflated
    // here): at most ClickSight::maxPngBytes and maxSide pixels a side.
    bool picture(const element& value, const QString& of, QByteArray& out)
    {
        std::string_view png;
        if (value.get_string().get(png))
            return wrongType("png", value, "a string");
        constexpr std::size_t maxText = (std::size_t(ClickSight::maxPngBytes) + 2) / 3 * 4;
        if (png.size() > maxText)
            return fail(QStringLiteral("the picture of the %1 is larger than %2 bytes").arg(of).arg(ClickSight::maxPngBytes));
        auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromRawData(png.data(), qsizetype(png.size())),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return fail(QStringLiteral("the picture of the %1 is not Base64").arg(of));
        out = std::move(*decoded);
        const auto size = PngCodec::declaredSize(out);
        if (!size)
            return fail(QStringLiteral("the picture of the %1 is not a PNG").arg(of));
        if (size->width > ClickSight::maxSide || size->height > ClickSight::maxSide)
            return fail(QStringLiteral("the picture of the %1 declares %2 x %3 pixels, more than %4 x %4")
                            .arg(of)
                            .arg(size->width)
                            .arg(size->height)
                            .arg(ClickSight::maxSide));
        return true;
    }

    // "threshold", when present: how alike a place must be, above 0 and at most 1.
    bool optionalThreshold(const object& o, double& out)
    {
        element part;
        if (o["threshold"].get(part))
            return true;
        if (!number(part, "threshold", out))
            return false;
        if (!(out > 0 && out <= 1))
            return fail(QStringLiteral("\"threshold\" %1 is not above 0 and at most 1").arg(numberText(part)));
        return true;
    }

    bool choice(const object& o, std::string_view key, std::string_view fallback, std::string_view& out,
                std::initializer_list<std::string_view> allowed)
    {
        element part;
        out = fallback;
        if (o[key].get(part))
            return fallback.empty() ? fail(QStringLiteral("missing key %1").arg(quoted(key))) : true;
        if (part.get_string().get(out))
            return wrongType(key, part, "a string");
        for (const std::string_view a : allowed)
            if (a == out)
                return true;
        QStringList names;
        for (const std::string_view a : allowed)
            names << quoted(a);
        return fail(QStringLiteral("%1 %2 is not one of %3").arg(quoted(key), quoted(out), names.join(QStringLiteral(", "))));
    }

    bool optionalText(const object& o, std::string_view key, QString& out)
    {
        element part;
        if (o[key].get(part))
            return true;
        if (!text(part, key, out))
            return false;
        if (out.size() > 1024)
            return fail(QStringLiteral("%1 is longer than 1024 characters").arg(quoted(key)));
        return true;
    }

    // A hand-made wait. False with the reason, or true with `known` false for a kind of
    // wait this version does not know (kept whole, as an unknown step is).
    bool readWait(const object& o, ScreenWait& w, bool& known)
    {
        using K = ScreenWait::Kind;
        element part;
        std::string_view kindText;
        if (!field(o, "for", part))
            return false;
        if (part.get_string().get(kindText))
            return wrongType("for", part, "a string");
        const auto kind = ScreenWaitText::kindFrom(kindText);
        known = kind.has_value();
        if (!known)
            return true;
        w.kind = *kind;
        if (!field(o, "timeout", part) || !number(part, "timeout", w.timeout))
            return false;
        if (!(w.timeout > 0 && w.timeout <= ScreenWait::maxTimeout))
            return fail(QStringLiteral("\"timeout\" %1 is not above 0 and at most %2 seconds")
                            .arg(numberText(part))
                            .arg(ScreenWait::maxTimeout));
        std::string_view onTimeout;
        if (!choice(o, "onTimeout", "stop", onTimeout, {"stop", "continue"}))
            return false;
        w.stopOnTimeout = onTimeout == "stop";
        switch (w.kind) {
        case K::image: {
            element area;
            object a;
            if (!field(o, "png", part) || !picture(part, QStringLiteral("step"), w.png) || !field(o, "area", area))
                return false;
            if (area.get_object().get(a))
                return wrongType("area", area, "an object");
            return rect(a, w.area) && optionalThreshold(o, w.threshold) && optionalText(o, "app", w.app) &&
                   optionalText(o, "appName", w.appName);
        }
        case K::color: {
            std::string_view color;
            object point;
            if (!field(o, "color", part))
                return false;
            if (part.get_string().get(color))
                return wrongType("color", part, "a string");
            bool ok = color.size() == 7 && color[0] == '#';
            const uint value = ok ? QByteArray(color.data() + 1, 6).toUInt(&ok, 16) : 0;
            if (!ok)
                return fail(QStringLiteral("\"color\" %1 is not of the form #rrggbb").arg(quoted(color)));
            w.color = value;
            if (!field(o, "point", part))
                return false;
            if (part.get_object().get(point))
                return wrongType("point", part, "an object");
            double x = 0, y = 0;
            element c;
            if (!field(point, "x", c) || !number(c, "x", x) || !field(point, "y", c) || !number(c, "y", y))
                return false;
            w.area = QRectF(x, y, 1, 1);
            return field(o, "tolerance", part) && integer(part, "tolerance", 0, 255, w.tolerance);
        }
        case K::window: {
            std::string_view event, match;
            if (!optionalText(o, "app", w.app) || !optionalText(o, "appName", w.appName) ||
                !optionalText(o, "title", w.title) || !choice(o, "event", {}, event, {"appear", "front", "close"}) ||
                !choice(o, "titleMatch", "contains", match, {"contains", "pattern"}))
                return false;
            w.event = *ScreenWaitText::eventFrom(event);
            w.titleMatch = *ScreenWaitText::titleMatchFrom(match);
            if (w.app.isEmpty() && w.title.isEmpty())
                return fail(QStringLiteral("a wait for a window names neither an application nor a title"));
            if (w.titleMatch == ScreenWait::TitleMatch::pattern && !QRegularExpression(w.title).isValid())
                return fail(QStringLiteral("\"title\" is not a valid pattern"));
            return true;
        }
        case K::settle: {
            if (!o["area"].get(part)) {
                object a;
                if (part.get_object().get(a))
                    return wrongType("area", part, "an object");
                if (!rect(a, w.area))
                    return false;
            }
            return field(o, "quietMs", part) && integer(part, "quietMs", 1, ScreenWait::maxQuietMs, w.quietMs);
        }
        }
        return false;
    }

    // "x", "y", "width", "height" of an object, the last two not negative.
    bool rect(const object& o, QRectF& out)
    {
        double v[4];
        const char* keys[4] = {"x", "y", "width", "height"};
        element part;
        for (int i = 0; i < 4; ++i)
            if (!field(o, keys[i], part) || !number(part, keys[i], v[i]))
                return false;
        if (v[2] < 0 || v[3] < 0)
            return fail(QStringLiteral("an area of negative size"));
        out = QRectF(v[0], v[1], v[2], v[3]);
        return true;
    }

    bool readAction(const element& root, MacroAction& out)
    {
        object obj;
        if (root.get_object().get(obj))
            return fail(QStringLiteral("expected an action object but found %1")
                            .arg(typeName(root.type())));
        m_present = 0;
        for (const auto& member : obj) {
            const Slot slot = slotOf(member.key);
            if (slot != slotCount) {
                m_slots[slot] = member.value;
                m_present |= 1u << slot;
            }
        }
        if (!need(sType))
            return false;
        std::string_view typeText;
        if (m_slots[sType].get_string().get(typeText))
            return wrongType("type", m_slots[sType], "a string");
        using A = MacroAction;
        const auto type = actionTypeFromText(typeText);
        if (!number(sTimestamp, out.timestamp))
            return false;
        ScreenWait wait;
        bool knownWait = true;
        if (type == ActionType::wait && !readWait(obj, wait, knownWait))
            return false;
        // A kind from a newer Quillo (or a kind of wait): kept whole, so that nothing of it
        // is lost when this version writes the library again.
        if (!type || !knownWait) {
            const std::string json = simdjson::minify(root);
            out.payload = A::Unknown(QString::fromUtf8(typeText.data(), qsizetype(typeText.size())),
                                     QByteArray(json.data(), qsizetype(json.size())));
            return true;
        }

        switch (*type) {
        case ActionType::keyDown:
            return key(out.payload.emplace<A::KeyDown>());
        case ActionType::keyUp:
            return key(out.payload.emplace<A::KeyUp>());
        case ActionType::mouseMove:
            return pointer(out.payload.emplace<A::MouseMove>());
        case ActionType::mouseDown: {
            auto& down = out.payload.emplace<A::MouseDown>();
            return pointerWithButton(down) && optionalSight(down.sight);
        }
        case ActionType::mouseUp:
            return pointerWithButton(out.payload.emplace<A::MouseUp>());
        case ActionType::mouseDrag:
            return pointerWithButton(out.payload.emplace<A::MouseDrag>());
        case ActionType::scroll: {
            auto& s = out.payload.emplace<A::Scroll>();
            constexpr auto lo = std::numeric_limits<std::int32_t>::min();
            constexpr auto hi = std::numeric_limits<std::int32_t>::max();
            return pointer(s) && need(sDeltaX) && need(sDeltaY) &&
                   integer(m_slots[sDeltaX], "deltaX", lo, hi, s.deltaX) &&
                   integer(m_slots[sDeltaY], "deltaY", lo, hi, s.deltaY) && optionalFlags(s.flags);
        }
        case ActionType::windowFocus: {
            QString bundleID, appName;
            if (!need(sBundleID) || !need(sAppName) ||
                !text(m_slots[sBundleID], "bundleID", bundleID) ||
                !text(m_slots[sAppName], "appName", appName))
                return false;
            out.payload = A::WindowFocus(bundleID, appName);
            return true;
        }
        case ActionType::delay:
            return number(sDuration, out.payload.emplace<A::Delay>().duration);
        case ActionType::wait:
            out.payload = A::Wait(std::move(wait));
            return true;
        case ActionType::unknown:
            break; // never a type read from a file's text
        }
        return false;
    }

    qsizetype m_macro;
    Section m_section = Section::macro;
    qsizetype m_action = 0;
    std::array<element, slotCount> m_slots;
    unsigned m_present = 0;
    QString m_error;
};

QString syntaxError(simdjson::error_code code)
{
    return QStringLiteral("invalid JSON (%1)")
        .arg(QString::fromUtf8(simdjson::error_message(code)));
}

// Parses one element in place; `text` must have the parser's padding readable after it.
simdjson::error_code parseElement(simdjson::dom::parser& parser, const char* data, std::size_t size,
                                  element& out)
{
    return parser.parse(data, size, false).get(out);
}

// Bytes with the parser's padding after them: the caller's own when it has the room.
// Some editors start UTF-8 files with a byte-order mark; it is not part of the JSON.
std::string_view withoutByteOrderMark(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    return text;
}

QByteArray padded(const QByteArray& json)
{
    if (json.capacity() - json.size() >= MacroJsonDecoder::paddingBytes)
        return json;
    QByteArray copy = MacroJsonDecoder::paddedBuffer(json.size());
    copy.append(json);
    return copy;
}

} // namespace

QByteArray MacroJsonDecoder::paddedBuffer(qsizetype size)
{
    QByteArray buffer;
    buffer.reserve(size + paddingBytes);
    return buffer;
}

Expected<std::vector<Macro>, DecodingError> MacroJsonDecoder::decodeLibrary(const QByteArray& json)
{
    const QByteArray bytes = padded(json);
    const std::string_view text =
        withoutByteOrderMark(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    const JsonArraySplitter::Result split = JsonArraySplitter::split(text);
    simdjson::dom::parser parser;
    if (split.error) {
        element root;
        if (split.notAnArray && !parseElement(parser, text.data(), text.size(), root))
            return failure(DecodingError{QStringLiteral("expected an array of macros but found %1")
                                             .arg(typeName(root.type()))});
        return failure(DecodingError{
            split.notAnArray ? QStringLiteral("expected an array of macros") : *split.error});
    }

    std::vector<Macro> macros;
    macros.reserve(split.elements.size());
    for (std::size_t i = 0; i < split.elements.size(); ++i) {
        const auto& span = split.elements[i];
        element root;
        if (const auto code =
                parseElement(parser, text.data() + span.begin, span.end - span.begin, root))
            return failure(DecodingError{QStringLiteral("macro %1 (line %2): %3")
                                             .arg(i + 1)
                                             .arg(JsonArraySplitter::lineOf(text, span.begin))
                                             .arg(syntaxError(code))});
        MacroReader reader(qsizetype(i + 1));
        if (!reader.readMacro(root, macros.emplace_back()))
            return failure(DecodingError{reader.error()});
    }
    return macros;
}

Expected<Macro, DecodingError> MacroJsonDecoder::decodeMacro(const QByteArray& json)
{
    const QByteArray bytes = padded(json);
    const std::string_view text =
        withoutByteOrderMark(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    simdjson::dom::parser parser;
    element root;
    if (const auto code = parseElement(parser, text.data(), text.size(), root)) {
        if (code == simdjson::EMPTY)
            return failure(DecodingError{QStringLiteral("the text is empty")});
        return failure(DecodingError{syntaxError(code)});
    }
    MacroReader reader(0);
    Macro macro;
    if (!reader.readMacro(root, macro))
        return failure(DecodingError{reader.error()});
    return macro;
}
