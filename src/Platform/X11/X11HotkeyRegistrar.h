#pragma once

#include "Platform/HotkeyRegistrar.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QSet>
#include <vector>

struct _XDisplay;
class QSocketNotifier;

// Global hotkeys as passive key grabs on the root window, on a connection of its own
// read through the event loop. Each grab is repeated for the Num Lock and Caps Lock
// states, so a hotkey works whatever they are. A chord another client already grabs is
// refused (the X error code is the status); one that two ids share is grabbed once.
class X11HotkeyRegistrar : public HotkeyRegistrar
{
    Q_OBJECT
public:
    explicit X11HotkeyRegistrar(QByteArray displayName = {}, QObject* parent = nullptr);
    ~X11HotkeyRegistrar() override;

    bool isConnected() const { return m_display != nullptr; }
    Registration registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords) override;
    void unregisterHotkey(quint32 id) override;
    QString mechanism() const override { return QStringLiteral("X11 key grabs"); }

    // The X modifier mask for a hot-key modifier mask.
    static unsigned xModifiers(quint32 modifiers);

private:
    using Key = QPair<int, unsigned>; // X keycode, modifier mask
    void readEvents();
    // Grabs a key with modifiers in every lock state (or counts one more user of a grab
    // this connection holds); the X error, or 0.
    int grab(const Key& key);
    void release(const Key& key);

    _XDisplay* m_display = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QHash<quint32, std::vector<Key>> m_ids;
    QMap<Key, int> m_users; // how many ids hold each grab
    QSet<int> m_keysDown;   // to ignore auto-repeat while a hotkey is held
};
