#include "Platform/Wayland/GnomeHotkeyRegistrar.h"

#include "Platform/Linux/KeyCodeMap.h"
#include "Platform/Wayland/GnomeProvider.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {

QDBusMessage call(const QString& method, const QVariantList& arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(GnomeProvider::service, GnomeProvider::path, GnomeProvider::interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 2000);
}

} // namespace

GnomeHotkeyRegistrar::GnomeHotkeyRegistrar(QObject* parent) : HotkeyRegistrar(parent) {}

GnomeHotkeyRegistrar::~GnomeHotkeyRegistrar()
{
    for (const quint32 id : QSet<quint32>(m_ids))
        unregisterHotkey(id);
}

bool GnomeHotkeyRegistrar::start(QString* problem)
{
    const QDBusMessage reply = call(QStringLiteral("GetFocusedApp"), {});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (problem)
            *problem = QStringLiteral("the Quillo extension of GNOME Shell does not answer: %1").arg(reply.errorMessage());
        return false;
    }
    QDBusConnection::sessionBus().connect(GnomeProvider::service, GnomeProvider::path, GnomeProvider::interface,
                                          QStringLiteral("HotkeyPressed"), this, SLOT(pressed(uint)));
    return true;
}

QString GnomeHotkeyRegistrar::accelerator(const HotkeyChord& chord)
{
    const auto evdev = KeyCodeMap::evdevFromMac(quint16(chord.keyCode));
    if (!evdev)
        return {};
    QString text;
    for (const auto& [bit, name] : {std::pair{HotkeyChord::command, "<Super>"}, std::pair{HotkeyChord::option, "<Alt>"},
                                    std::pair{HotkeyChord::control, "<Control>"}, std::pair{HotkeyChord::shift, "<Shift>"},
                                    std::pair{HotkeyChord::altGr, "<Mod5>"}})
        if (chord.modifiers & bit)
            text += QLatin1String(name);
    return text + QStringLiteral("0x%1").arg(*evdev + KeyCodeMap::xKeycodeOffset, 0, 16);
}

HotkeyRegistrar::Registration GnomeHotkeyRegistrar::registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords)
{
    if (chords.empty() || accelerator(chords.front()).isEmpty())
        return {-2, QStringLiteral("this key has no key code")};
    unregisterHotkey(id);
    for (std::size_t i = 0; i < chords.size(); ++i) {
        const QString wanted = accelerator(chords[i]);
        if (wanted.isEmpty())
            continue;
        const QDBusMessage reply = call(QStringLiteral("GrabAccelerator"), {wanted, uint(id)});
        const bool granted = reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
        if (i == 0 && !granted) {
            call(QStringLiteral("UngrabAccelerators"), {uint(id)});
            if (reply.type() != QDBusMessage::ReplyMessage)
                return {-1, QStringLiteral("the Quillo extension of GNOME Shell does not answer: %1").arg(reply.errorMessage())};
            return {-3, QStringLiteral("GNOME Shell or another program already uses %1").arg(chords[0].portableText())};
        }
    }
    m_ids.insert(id);
    return {};
}

void GnomeHotkeyRegistrar::unregisterHotkey(quint32 id)
{
    if (m_ids.remove(id))
        call(QStringLiteral("UngrabAccelerators"), {uint(id)});
}

void GnomeHotkeyRegistrar::pressed(uint id)
{
    if (m_ids.contains(id))
        Q_EMIT hotkeyPressed(id);
}
