#pragma once

#include "Platform/HotkeyRegistrar.h"

#include <QHash>
#include <QStringList>
#include <functional>
#include <optional>

class QLocalSocket;
class SwayProvider;

// Hotkeys on sway: each chord becomes a key binding added over sway's IPC socket whose
// command does nothing (`nop quillo-hotkey PID ID`); sway reports every binding it runs
// on the same socket, whichever window is in front, and that report is the press. The
// bindings go when Quillo quits. A chord that sway's configuration already binds is
// refused (adding it would take the user's binding away).
class SwayHotkeyRegistrar : public HotkeyRegistrar
{
    Q_OBJECT
public:
    // `keyName`: how the current layout names a key (macOS key code), as sway binds keysyms.
    SwayHotkeyRegistrar(SwayProvider& sway, std::function<QString(quint16)> keyName, QObject* parent = nullptr);
    ~SwayHotkeyRegistrar() override;

    // Subscribes to sway's binding reports; false with the reason.
    bool start(QString* problem);
    Registration registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords) override;
    void unregisterHotkey(quint32 id) override;
    QString mechanism() const override { return QStringLiteral("sway key bindings"); }

    // "Mod4+Mod1+r": a chord as sway's bindsym writes it.
    QString combo(const HotkeyChord& chord) const;
    // The xkb keysym name of a key that the layout calls `layoutName` ("r", "U00F6",
    // "Prior"); empty for a key with no name.
    static QString keysymName(quint16 keyCode, const QString& layoutName);
    // The line of sway's configuration `config` that binds `combo` in the default mode.
    static std::optional<QString> configBinding(const QString& config, const QString& combo);

private:
    void readEvents();
    bool run(const QString& commands);

    SwayProvider& m_sway;
    std::function<QString(quint16)> m_keyName;
    QLocalSocket* m_events = nullptr;
    QByteArray m_buffer;
    QHash<quint32, QStringList> m_combos;
};
