#pragma once

#include "Platform/Clock.h"
#include "Platform/HotkeyRegistrar.h"

#include <QHash>
#include <QSet>
#include <QObject>
#include <functional>
#include <vector>

struct HotkeyConfig {
    quint32 keyCode = 0;
    quint32 modifiers = 0;
    quint32 id = 0;
};

// The application's three global key combinations. Presses of the same combination
// within 0.3 s of the last accepted one are dropped; accepted ones reach `onHotKey`
// on a later turn of the main thread.
class HotkeyService : public QObject
{
    Q_OBJECT
public:
    static constexpr double debounceInterval = 0.3;
    static constexpr quint32 commandModifier = 0x100;
    static constexpr quint32 optionModifier = 0x800;
    // Command-R (1), Command-Option-P (2), Command-P (3).
    static const std::vector<HotkeyConfig>& defaults();
    // The event flags (command, option, ...) of a hot-key modifier mask.
    static std::uint64_t eventFlags(quint32 modifiers);

    // `clock` is monotonic: a wall clock stepping back would swallow presses.
    HotkeyService(HotkeyRegistrar& registrar, const Clock& clock, QObject* parent = nullptr);

    void registerHotkey(const HotkeyConfig& config);
    void setOnHotKey(std::function<void(quint32)> callback) { m_onHotKey = std::move(callback); }
    // Whether the combination with `id` is registered.
    bool isRegistered(quint32 id) const { return m_handles.contains(id); }
    // Lenient: the combination with `id` also counts while other modifiers are down
    // (a playback holding Shift must still be stoppable). Registers it again.
    void setLenient(quint32 id, bool lenient);
    bool isLenient(quint32 id) const { return m_lenientIds.contains(id); }

private:
    void handlePress(quint32 id);

    HotkeyRegistrar& m_registrar;
    const Clock& m_clock;
    std::function<void(quint32)> m_onHotKey;
    QHash<quint32, quint64> m_handles;
    QHash<quint32, HotkeyConfig> m_configs;
    QSet<quint32> m_lenientIds;
    QHash<quint32, double> m_lastFireTimes;
};
