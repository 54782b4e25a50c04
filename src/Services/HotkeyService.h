#pragma once

#include "Models/HotkeyChord.h"
#include "Platform/Clock.h"
#include "Platform/HotkeyRegistrar.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <functional>
#include <optional>
#include <vector>

struct HotkeyConfig {
    quint32 keyCode = 0;
    quint32 modifiers = 0;
    quint32 id = 0;

    HotkeyChord chord() const { return {keyCode, modifiers}; }
};

// The application's global chords, each under an id. Presses of the same id within
// 0.3 s of the last accepted one are dropped; accepted ones reach `onHotKey` on a later
// turn of the main thread. A chord the system refuses is logged with the reason, and the
// id keeps the chord it had.
class HotkeyService : public QObject
{
    Q_OBJECT
public:
    static constexpr double debounceInterval = 0.3;
    static constexpr quint32 commandModifier = HotkeyChord::command;
    static constexpr quint32 optionModifier = HotkeyChord::option;
    // Super+Alt+R (1, start or stop recording), Super+Alt+Shift+R (2, stop recording),
    // Super+Alt+P (3, play or stop): chords that GNOME, KDE Plasma and sway leave free.
    static const std::vector<HotkeyConfig>& defaults();

    // `clock` is monotonic: a wall clock stepping back would swallow presses.
    HotkeyService(HotkeyRegistrar& registrar, const Clock& clock, QObject* parent = nullptr);

    // Puts `config`'s chord in force for its id, in place of the one it had; true when
    // it is. Refused, the earlier chord stays and `problem` says why.
    bool registerHotkey(const HotkeyConfig& config);
    void unregisterHotkey(quint32 id);
    void setOnHotKey(std::function<void(quint32)> callback) { m_onHotKey = std::move(callback); }
    bool isRegistered(quint32 id) const { return m_chords.contains(id); }
    // The chord in force for `id`.
    std::optional<HotkeyChord> chord(quint32 id) const;
    // Why the chord last asked for `id` was refused; empty when it is in force.
    QString problem(quint32 id) const { return m_problems.value(id); }
    // The id whose chord in force is `chord`.
    std::optional<quint32> idWithChord(const HotkeyChord& chord) const;
    // Lenient: the chord of `id` also counts while other modifiers are down (a playback
    // holding Shift must still be stoppable). Registers it again.
    void setLenient(quint32 id, bool lenient);
    bool isLenient(quint32 id) const { return m_lenientIds.contains(id); }
    // While suspended no chord is held (the settings are listening for a new one).
    void setSuspended(bool suspended);
    bool isSuspended() const { return m_suspended; }
    const HotkeyRegistrar& registrar() const { return m_registrar; }
    // Passed on to the registrar (see HotkeyRegistrar::describe).
    void describe(quint32 id, const QString& uniqueName, const QString& title)
    {
        m_registrar.describe(id, uniqueName, title);
    }

Q_SIGNALS:
    // Which chords are in force changed.
    void changed();
    // The desktop's settings gave `id` another chord, now in force.
    void chordChangedByDesktop(quint32 id, const HotkeyChord& chord);

private:
    void handlePress(quint32 id);
    // The chords registered for `id`: its own, then (when lenient) the same with other
    // modifiers held, except any that another id uses.
    std::vector<HotkeyChord> chordsFor(quint32 id, const HotkeyChord& chord) const;
    HotkeyRegistrar::Registration place(quint32 id, const HotkeyChord& chord);
    static void logRefusal(quint32 id, const HotkeyChord& chord, const HotkeyRegistrar::Registration& result);

    HotkeyRegistrar& m_registrar;
    const Clock& m_clock;
    std::function<void(quint32)> m_onHotKey;
    QHash<quint32, HotkeyChord> m_chords;
    QHash<quint32, QString> m_problems;
    QSet<quint32> m_lenientIds;
    QHash<quint32, double> m_lastFireTimes;
    bool m_suspended = false;
};
