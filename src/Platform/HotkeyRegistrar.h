#pragma once

#include <QObject>

// System-wide key combinations. Key codes are macOS virtual key codes; modifiers use
// the hot-key mask (command 0x100, shift 0x200, option 0x800, control 0x1000), plus
// `whateverElseHeld`: the combination also counts while other modifiers are down.
class HotkeyRegistrar : public QObject
{
    Q_OBJECT
public:
    struct Registration {
        int status = 0;       // 0 when the combination is ours; the platform's error otherwise
        quint64 handle = 0;   // for unregistering
    };

    static constexpr quint32 whateverElseHeld = 0x10000;

    using QObject::QObject;

    virtual Registration registerHotkey(quint32 keyCode, quint32 modifiers, quint32 id) = 0;
    virtual void unregisterHotkey(quint64 handle) = 0;

Q_SIGNALS:
    // A registered combination was pressed (main thread).
    void hotkeyPressed(quint32 id);
};
