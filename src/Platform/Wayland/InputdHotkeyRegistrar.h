#pragma once

#include "Platform/HotkeyRegistrar.h"
#include "Platform/Wayland/InputdClient.h"

#include <QHash>
#include <QTimer>
#include <vector>

class QSocketNotifier;

// Hotkeys on a compositor Quillo has no other way to: the input helper watches the
// keyboards for exactly the chords asked for and reports a match, never any other key.
// The helper sees every keyboard, so the chords work whichever window is in front.
class InputdHotkeyRegistrar : public HotkeyRegistrar
{
    Q_OBJECT
public:
    explicit InputdHotkeyRegistrar(QString socketPath = {}, QObject* parent = nullptr);
    ~InputdHotkeyRegistrar() override;

    Registration registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords) override;
    void unregisterHotkey(quint32 id) override;
    QString mechanism() const override { return QStringLiteral("the input helper, watching for the chords only"); }

    // A chord as the helper watches for it; nothing for a key without an evdev code.
    static std::optional<InputdProtocol::WatchedChord> watched(quint32 id, const HotkeyChord& chord);

private:
    bool ensureConnected(QString& problem);
    bool sendTable();
    void readReplies();

    QString m_socketPath;
    InputdClient m_client;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_retry; // while the helper is away
    QHash<quint32, std::vector<InputdProtocol::WatchedChord>> m_chords;
};
