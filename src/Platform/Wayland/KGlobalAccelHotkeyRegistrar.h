#pragma once

#include "Platform/HotkeyRegistrar.h"

#include <QHash>
#include <QStringList>
#include <functional>
#include <optional>

class QDBusMessage;

// Hotkeys on KDE Plasma (5.27 and 6): global shortcuts of a component "quillo" in KDE's
// kglobalaccel (inside KWin), set over D-Bus. They work whichever window is in front,
// are listed (and can be changed) in the desktop's shortcut settings, and a key another
// component holds is refused with its name. The shortcuts go inactive when Quillo quits.
class KGlobalAccelHotkeyRegistrar : public HotkeyRegistrar
{
    Q_OBJECT
public:
    inline static const QString component = QStringLiteral("quillo");

    // `keyName`: how the current layout names a key (macOS key code): KDE binds symbols.
    explicit KGlobalAccelHotkeyRegistrar(std::function<QString(quint16)> keyName, QObject* parent = nullptr);
    ~KGlobalAccelHotkeyRegistrar() override;

    // Whether kglobalaccel answers on the session bus; false with the reason.
    bool start(QString* problem);
    Registration registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords) override;
    void unregisterHotkey(quint32 id) override;
    QString mechanism() const override { return QStringLiteral("KDE Plasma's global shortcuts"); }
    void describe(quint32 id, const QString& uniqueName, const QString& title) override;

    // The Qt key code (key | modifiers) of a chord for a key the layout calls `layoutName`;
    // 0 for a key Qt has no code for.
    static int qtKey(const HotkeyChord& chord, const QString& layoutName);
    // The chord of a Qt key code, the key found by how `keyName` (the layout) or a US
    // keyboard calls it; nothing for a key no chord can use.
    static std::optional<HotkeyChord> chordOf(int key, const std::function<QString(quint16)>& keyName);

private Q_SLOTS:
    void pressed(const QString& componentUnique, const QString& actionUnique, qlonglong timestamp);
    void changedElsewhere(const QDBusMessage& message);

private:
    QStringList actionId(quint32 id) const;
    // Who else holds a Qt key, as people read it ("KWin: Show Desktop").
    QString holderOf(int key) const;

    std::function<QString(quint16)> m_keyName;
    QHash<quint32, QPair<QString, QString>> m_descriptions; // unique name, title
    QHash<quint32, int> m_keys;                             // the main key of each registered id
    bool m_listening = false;
};
