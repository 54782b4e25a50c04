#include "Models/MacroAction.h"

#include "Models/Overloaded.h"

#include <cmath>

static_assert(sizeof(MacroAction) <= 56, "a recorded action must stay small");
static_assert(std::variant_size_v<MacroAction::Payload> == 11);

MacroAction::WindowFocus::WindowFocus(const QString& bundleID, const QString& appName)
    : m_texts(std::make_shared<const Texts>(Texts{bundleID, appName}))
{
}

const QString& MacroAction::WindowFocus::bundleID() const
{
    static const QString empty;
    return m_texts ? m_texts->bundleID : empty;
}

const QString& MacroAction::WindowFocus::appName() const
{
    static const QString empty;
    return m_texts ? m_texts->appName : empty;
}

bool MacroAction::WindowFocus::operator==(const WindowFocus& other) const
{
    return bundleID() == other.bundleID() && appName() == other.appName();
}

MacroAction::Wait::Wait(ScreenWait wait) : m_wait(std::make_shared<const ScreenWait>(std::move(wait))) {}

const ScreenWait& MacroAction::Wait::get() const
{
    static const ScreenWait none;
    return m_wait ? *m_wait : none;
}

bool MacroAction::Wait::operator==(const Wait& other) const
{
    return m_wait == other.m_wait || get() == other.get();
}

namespace {

// A coordinate truncated toward zero. Hand-made files can hold values that no
// recording produces: those read as "?" (not finite) or as their whole decimal
// value (beyond the 64-bit range) rather than overflowing a conversion.
QString coordinateText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("?");
    const double whole = std::trunc(value);
    if (whole >= -9.2e18 && whole <= 9.2e18)
        return QString::number(static_cast<qint64>(whole));
    return QString::number(whole, 'f', 0);
}

QString buttonTitle(MouseButton button)
{
    switch (button) {
    case MouseButton::left:
        return QStringLiteral("Left");
    case MouseButton::right:
        return QStringLiteral("Right");
    case MouseButton::middle:
        return QStringLiteral("Middle");
    }
    return {};
}

QString position(double x, double y)
{
    return QStringLiteral("(%1, %2)").arg(coordinateText(x), coordinateText(y));
}

// A text from a file on one line: its line breaks and other controls shown as spaces.
QString oneLine(QString text)
{
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    return text;
}

QString waitName(const ScreenWait& w)
{
    switch (w.kind) {
    case ScreenWait::Kind::image:
        return w.appName.isEmpty() ? QStringLiteral("Wait for Image")
                                   : QStringLiteral("Wait for Image in %1").arg(oneLine(w.appName));
    case ScreenWait::Kind::color:
        return QStringLiteral("Wait for Colour #%1 at ").arg(w.color & 0xffffff, 6, 16, QLatin1Char('0')) +
               position(w.area.x(), w.area.y());
    case ScreenWait::Kind::window: {
        QString what = oneLine(w.appName.isEmpty() ? w.app : w.appName);
        if (!w.title.isEmpty())
            what = what.isEmpty() ? QStringLiteral("\u201c%1\u201d").arg(oneLine(w.title))
                                  : QStringLiteral("%1 \u201c%2\u201d").arg(what, oneLine(w.title));
        const char* event = w.event == ScreenWait::WindowEvent::appear  ? "to appear"
                            : w.event == ScreenWait::WindowEvent::front ? "to come to the front"
                                                                        : "to close";
        return QStringLiteral("Wait for %1 %2").arg(what, QLatin1String(event));
    }
    case ScreenWait::Kind::settle:
        return QStringLiteral("Wait Until the Screen Settles (%1 ms)").arg(w.quietMs);
    }
    return {};
}

} // namespace

QString MacroAction::displayName() const
{
    return std::visit(
        Overloaded{
            [](const KeyDown& a) { return QStringLiteral("Key Down (%1)").arg(a.keyCode); },
            [](const KeyUp& a) { return QStringLiteral("Key Up (%1)").arg(a.keyCode); },
            [](const MouseMove& a) { return QStringLiteral("Mouse Move ") + position(a.x, a.y); },
            [](const MouseDown& a) {
                return buttonTitle(a.button) + QStringLiteral(" Click Down ") + position(a.x, a.y);
            },
            [](const MouseUp& a) {
                return buttonTitle(a.button) + QStringLiteral(" Click Up ") + position(a.x, a.y);
            },
            [](const MouseDrag& a) {
                return buttonTitle(a.button) + QStringLiteral(" Drag ") + position(a.x, a.y);
            },
            [](const Scroll& a) {
                return QStringLiteral("Scroll (%1, %2)").arg(a.deltaX).arg(a.deltaY);
            },
            [](const WindowFocus& a) { return QStringLiteral("Focus \u2192 ") + a.appName(); },
            [](const Delay& a) {
                // Locale-independent, like a C format in the POSIX locale.
                return QStringLiteral("Delay %1s").arg(QString::number(a.duration, 'f', 2));
            },
            [](const Wait& a) { return waitName(a.get()); },
            [](const Unknown& a) { return QStringLiteral("Unknown step (%1)").arg(a.typeName()); },
        },
        payload);
}

MacroAction::Unknown::Unknown(const QString& typeName, const QByteArray& json)
    : m_data(std::make_shared<const Data>(Data{typeName, json}))
{
}

const QString& MacroAction::Unknown::typeName() const
{
    static const QString none;
    return m_data ? m_data->typeName : none;
}

const QByteArray& MacroAction::Unknown::json() const
{
    static const QByteArray none;
    return m_data ? m_data->json : none;
}

bool MacroAction::Unknown::operator==(const Unknown& other) const
{
    return typeName() == other.typeName() && json() == other.json();
}

MacroAction MacroAction::keyDown(double timestamp, std::uint16_t keyCode, std::uint64_t flags)
{
    return {timestamp, KeyDown{keyCode, flags}};
}

MacroAction MacroAction::keyUp(double timestamp, std::uint16_t keyCode, std::uint64_t flags)
{
    return {timestamp, KeyUp{keyCode, flags}};
}

MacroAction MacroAction::mouseMove(double timestamp, double x, double y)
{
    return {timestamp, MouseMove{x, y}};
}

MacroAction MacroAction::mouseDown(double timestamp, double x, double y, MouseButton button, std::uint64_t flags)
{
    return {timestamp, MouseDown{x, y, button, flags}};
}

MacroAction MacroAction::mouseUp(double timestamp, double x, double y, MouseButton button, std::uint64_t flags)
{
    return {timestamp, MouseUp{x, y, button, flags}};
}

MacroAction MacroAction::mouseDrag(double timestamp, double x, double y, MouseButton button, std::uint64_t flags)
{
    return {timestamp, MouseDrag{x, y, button, flags}};
}

MacroAction MacroAction::scroll(double timestamp, double x, double y, std::int32_t deltaX,
                                std::int32_t deltaY, std::uint64_t flags)
{
    return {timestamp, Scroll{x, y, deltaX, deltaY, flags}};
}

std::uint64_t MacroAction::mouseFlags() const
{
    return std::visit(
        [](const auto& a) -> std::uint64_t {
            using T = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<T, MouseDown> || std::is_same_v<T, MouseUp> ||
                          std::is_same_v<T, MouseDrag> || std::is_same_v<T, Scroll>)
                return a.flags;
            else
                return 0;
        },
        payload);
}

MacroAction MacroAction::windowFocus(double timestamp, const QString& bundleID,
                                     const QString& appName)
{
    return {timestamp, WindowFocus{bundleID, appName}};
}

MacroAction MacroAction::delay(double timestamp, double duration)
{
    return {timestamp, Delay{duration}};
}

MacroAction MacroAction::wait(double timestamp, ScreenWait wait)
{
    return {timestamp, Wait(std::move(wait))};
}
