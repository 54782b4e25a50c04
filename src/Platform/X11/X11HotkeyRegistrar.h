#pragma once

#include "Platform/HotkeyRegistrar.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <vector>

struct _XDisplay;
class QSocketNotifier;

// Global hotkeys as passive key grabs on the root window, on a connection of its own
// read through the event loop. Each grab is repeated for the Num Lock and Caps Lock
// states, so a hotkey works whatever they are; a lenient one also for every
// combination of other modifiers. A combination another client already
// grabs is refused (the X error code is the status).
class X11HotkeyRegistrar : public HotkeyRegistrar
{
    Q_OBJECT
public:
    explicit X11HotkeyRegistrar(QByteArray displayName = {}, QObject* parent = nullptr);
    ~X11HotkeyRegistrar() override;

    bool isConnected() const { return m_display != nullptr; }
    Registration registerHotkey(quint32 keyCode, quint32 modifiers, quint32 id) override;
    void unregisterHotkey(quint64 handle) override;

    // The X modifier mask for a hot-key modifier mask.
    static unsigned xModifiers(quint32 modifiers);

private:
    struct Grab {
        int keycode = 0;
        unsigned modifiers = 0;
        quint32 id = 0;
        bool lenient = false;            // also with other modifiers held
        std::vector<unsigned> variants;  // the modifier masks grabbed
    };
    void readEvents();
    // Grabs one modifier combination in every lock state; the X error, or 0.
    int grabVariant(int keycode, unsigned modifiers);
    void ungrabVariant(int keycode, unsigned modifiers);
    void ungrab(const Grab& grab);

    _XDisplay* m_display = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QHash<quint64, Grab> m_grabs;
    quint64 m_lastHandle = 0;
    QSet<int> m_keysDown; // to ignore auto-repeat while a hotkey is held
};
