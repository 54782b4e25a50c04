#include "Services/HotkeyService.h"

#include "Platform/RawInputEvent.h"
#include "Services/LogService.h"

const std::vector<HotkeyConfig>& HotkeyService::defaults()
{
    static const std::vector<HotkeyConfig> table = {
        {15, commandModifier, 1},
        {35, commandModifier | optionModifier, 2},
        {35, commandModifier, 3},
    };
    return table;
}

std::uint64_t HotkeyService::eventFlags(quint32 modifiers)
{
    std::uint64_t flags = 0;
    if (modifiers & commandModifier)
        flags |= ModifierFlags::command;
    if (modifiers & 0x200)
        flags |= ModifierFlags::shift;
    if (modifiers & optionModifier)
        flags |= ModifierFlags::option;
    if (modifiers & 0x1000)
        flags |= ModifierFlags::control;
    return flags;
}

HotkeyService::HotkeyService(HotkeyRegistrar& registrar, const Clock& clock, QObject* parent)
    : QObject(parent), m_registrar(registrar), m_clock(clock)
{
    connect(&m_registrar, &HotkeyRegistrar::hotkeyPressed, this, &HotkeyService::handlePress);
}

void HotkeyService::registerHotkey(const HotkeyConfig& config)
{
    m_configs.insert(config.id, config);
    const quint32 modifiers =
        config.modifiers | (m_lenientIds.contains(config.id) ? HotkeyRegistrar::whateverElseHeld : 0);
    const auto result = m_registrar.registerHotkey(config.keyCode, modifiers, config.id);
    if (result.status != 0) {
        appLog(QStringLiteral("[HotkeyService] Failed to register hotkey id=%1, status=%2")
                   .arg(config.id)
                   .arg(result.status),
               LogEntry::Level::error);
        return;
    }
    if (const auto old = m_handles.constFind(config.id); old != m_handles.constEnd())
        m_registrar.unregisterHotkey(*old);
    m_handles.insert(config.id, result.handle);
}

void HotkeyService::setLenient(quint32 id, bool lenient)
{
    if (m_lenientIds.contains(id) == lenient || !m_configs.contains(id))
        return;
    if (lenient)
        m_lenientIds.insert(id);
    else
        m_lenientIds.remove(id);
    // The strict and the lenient grab of one combination cannot both be held, so the
    // old one goes first; registering can then only fail where it worked before.
    if (const auto old = m_handles.constFind(id); old != m_handles.constEnd()) {
        m_registrar.unregisterHotkey(*old);
        m_handles.remove(id);
    }
    registerHotkey(m_configs.value(id));
}

void HotkeyService::handlePress(quint32 id)
{
    const double now = m_clock.now();
    if (const auto last = m_lastFireTimes.constFind(id);
        last != m_lastFireTimes.constEnd() && now - *last < debounceInterval)
        return;
    m_lastFireTimes.insert(id, now);
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            if (m_onHotKey)
                m_onHotKey(id);
        },
        Qt::QueuedConnection);
}
