#include "Platform/Wayland/WaylandEventPoster.h"

#include "Platform/Linux/KeyCodeMap.h"

#include <linux/input-event-codes.h>

WaylandEventPoster::WaylandEventPoster(QString socketPath)
    : m_socketPath(socketPath.isEmpty() ? InputdClient::socketPath() : std::move(socketPath))
{
}

QString WaylandEventPoster::connectionProblem()
{
    ensureConnected();
    return m_problem;
}

bool WaylandEventPoster::ensureConnected()
{
    if (m_client.isConnected() && !m_client.failed())
        return true;
    m_problem.clear();
    if (!m_client.connect(m_socketPath, m_problem))
        return false;
    return true;
}

void WaylandEventPoster::prepare()
{
    ensureConnected();
    m_outputs = m_layout ? m_layout() : std::vector<Output>{};
}

bool WaylandEventPoster::emit(std::uint16_t type, std::uint16_t code, std::int32_t value)
{
    return ensureConnected() && m_client.send(InputdProtocol::Post{type, code, value});
}

bool WaylandEventPoster::sync()
{
    return emit(EV_SYN, SYN_REPORT, 0);
}

void WaylandEventPoster::matchModifiers(std::uint64_t flags)
{
    struct Modifier
    {
        std::uint64_t flag;
        std::uint16_t key;
    };
    // AltGr (option with the right-option bit) is the right Alt key; plain option the left.
    const bool altGr = (flags & ModifierFlags::altGr) == ModifierFlags::altGr;
    const Modifier modifiers[] = {{ModifierFlags::shift, KEY_LEFTSHIFT},
                                  {ModifierFlags::control, KEY_LEFTCTRL},
                                  {altGr ? 0 : ModifierFlags::option, KEY_LEFTALT},
                                  {altGr ? ModifierFlags::option : 0, KEY_RIGHTALT},
                                  {ModifierFlags::command, KEY_LEFTMETA}};
    bool changed = false;
    for (const Modifier& m : modifiers) {
        const bool wanted = m.flag != 0 && (flags & m.flag) != 0;
        const bool down = m_modifiersDown.count(m.key) != 0;
        if (wanted && !down) {
            emit(EV_KEY, m.key, 1);
            m_modifiersDown.insert(m.key);
            changed = true;
        } else if (!wanted && down) {
            emit(EV_KEY, m.key, 0);
            m_modifiersDown.erase(m.key);
            changed = true;
        }
    }
    if (changed)
        sync();
}

bool WaylandEventPoster::moveTo(double x, double y)
{
    if (m_outputs.empty())
        return false; // without a layout a position cannot be placed
    const auto [ax, ay] = OutputLayout::toAbsolute(m_outputs, x, y);
    return emit(EV_ABS, ABS_X, ax) && emit(EV_ABS, ABS_Y, ay) && sync();
}

bool WaylandEventPoster::post(const SyntheticEvent& event)
{
    if (!ensureConnected())
        return false;
    switch (event.type) {
    case RawEventType::keyDown:
    case RawEventType::keyUp: {
        const auto code = KeyCodeMap::evdevFromMac(event.keyCode);
        if (!code)
            return false;
        matchModifiers(event.flags);
        return emit(EV_KEY, std::uint16_t(*code), event.type == RawEventType::keyDown ? 1 : 0) && sync();
    }
    default:
        break;
    }
    // A click, drag or wheel turn recorded with modifiers gets exactly those; others none.
    matchModifiers(event.flags);
    switch (event.type) {
    case RawEventType::mouseMoved:
    case RawEventType::leftMouseDragged:
    case RawEventType::rightMouseDragged:
    case RawEventType::otherMouseDragged:
        return moveTo(event.x, event.y);
    case RawEventType::leftMouseDown:
    case RawEventType::leftMouseUp:
    case RawEventType::rightMouseDown:
    case RawEventType::rightMouseUp:
    case RawEventType::otherMouseDown:
    case RawEventType::otherMouseUp: {
        const bool down = event.type == RawEventType::leftMouseDown || event.type == RawEventType::rightMouseDown ||
                          event.type == RawEventType::otherMouseDown;
        const std::uint16_t button = event.button == 0 ? BTN_LEFT : event.button == 1 ? BTN_RIGHT : BTN_MIDDLE;
        moveTo(event.x, event.y);
        return emit(EV_KEY, button, down ? 1 : 0) && sync();
    }
    case RawEventType::scrollWheel: {
        moveTo(event.x, event.y);
        bool ok = true;
        if (event.wheel1 != 0)
            ok = emit(EV_REL, REL_WHEEL, event.wheel1) && emit(EV_REL, REL_WHEEL_HI_RES, event.wheel1 * 120) && ok;
        if (event.wheel2 != 0) // the macro's horizontal axis is left-positive, the kernel's right-positive
            ok = emit(EV_REL, REL_HWHEEL, -event.wheel2) && emit(EV_REL, REL_HWHEEL_HI_RES, -event.wheel2 * 120) && ok;
        return sync() && ok;
    }
    default:
        return false;
    }
}

bool WaylandEventPoster::activateApplication(const QString& id)
{
    return m_activate && m_activate(id);
}

void WaylandEventPoster::releaseModifiers()
{
    matchModifiers(0);
    if (m_client.isConnected())
        m_client.send(InputdProtocol::ReleaseAll{});
}
