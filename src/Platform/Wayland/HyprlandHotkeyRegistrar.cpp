#include "Platform/Wayland/HyprlandHotkeyRegistrar.h"

#include "Platform/Linux/KeyCodeMap.h"
#include "Platform/Wayland/HyprlandProvider.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QString kEvent = QStringLiteral("quillo-hotkey");
} // namespace

HyprlandHotkeyRegistrar::HyprlandHotkeyRegistrar(HyprlandProvider& hyprland, QObject* parent)
    : HotkeyRegistrar(parent), m_hyprland(hyprland)
{
    connect(&m_hyprland, &HyprlandProvider::customEvent, this, &HyprlandHotkeyRegistrar::customEvent);
}

HyprlandHotkeyRegistrar::~HyprlandHotkeyRegistrar()
{
    for (const quint32 id : m_binds.keys())
        unregisterHotkey(id);
}

int HyprlandHotkeyRegistrar::modmask(const HotkeyChord& chord)
{
    int mask = 0;
    if (chord.modifiers & HotkeyChord::shift)
        mask |= 1;
    if (chord.modifiers & HotkeyChord::control)
        mask |= 4;
    if (chord.modifiers & HotkeyChord::option)
        mask |= 8;
    if (chord.modifiers & HotkeyChord::command)
        mask |= 64;
    if (chord.modifiers & HotkeyChord::altGr)
        mask |= 128;
    return mask;
}

QString HyprlandHotkeyRegistrar::bindKeys(const HotkeyChord& chord)
{
    const auto evdev = KeyCodeMap::evdevFromMac(quint16(chord.keyCode));
    if (!evdev)
        return {};
    QStringList mods;
    for (const auto& [bit, name] : {std::pair{HotkeyChord::command, "SUPER"}, std::pair{HotkeyChord::option, "ALT"},
                                    std::pair{HotkeyChord::control, "CTRL"}, std::pair{HotkeyChord::shift, "SHIFT"},
                                    std::pair{HotkeyChord::altGr, "MOD5"}})
        if (chord.modifiers & bit)
            mods << QLatin1String(name);
    return QStringLiteral("%1,code:%2").arg(mods.join(QLatin1Char(' '))).arg(*evdev + KeyCodeMap::xKeycodeOffset);
}

std::optional<QString> HyprlandHotkeyRegistrar::existingBind(const HotkeyChord& chord) const
{
    const auto reply = m_hyprland.request(QByteArrayLiteral("j/binds"));
    if (!reply)
        return std::nullopt;
    const auto evdev = KeyCodeMap::evdevFromMac(quint16(chord.keyCode));
    const QString name = HotkeyChord::keyName(chord.keyCode);
    for (const QJsonValue value : QJsonDocument::fromJson(*reply).array()) {
        const QJsonObject bind = value.toObject();
        if (!bind.value(QStringLiteral("submap")).toString().isEmpty() ||
            bind.value(QStringLiteral("modmask")).toInt() != modmask(chord))
            continue;
        const int code = bind.value(QStringLiteral("keycode")).toInt();
        const QString key = bind.value(QStringLiteral("key")).toString();
        const bool sameKey = (evdev && code == *evdev + KeyCodeMap::xKeycodeOffset) ||
                             (code == 0 && !name.isEmpty() && key.compare(name, Qt::CaseInsensitive) == 0);
        if (sameKey && !bind.value(QStringLiteral("arg")).toString().startsWith(kEvent))
            return QStringLiteral("%1 %2").arg(bind.value(QStringLiteral("dispatcher")).toString(),
                                               bind.value(QStringLiteral("arg")).toString());
    }
    return std::nullopt;
}

HotkeyRegistrar::Registration HyprlandHotkeyRegistrar::registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords)
{
    if (chords.empty() || bindKeys(chords.front()).isEmpty())
        return {-2, QStringLiteral("this key has no key code")};
    if (const auto taken = existingBind(chords.front()))
        return {-3, QStringLiteral("Hyprland already binds %1 (%2)").arg(chords.front().portableText(), *taken)};
    unregisterHotkey(id);
    QStringList bound;
    for (const HotkeyChord& chord : chords) {
        const QString keys = bindKeys(chord);
        if (keys.isEmpty() || (!bound.isEmpty() && existingBind(chord)))
            continue; // an alternative Hyprland binds stays the user's
        const auto reply = m_hyprland.request(QStringLiteral("keyword bind %1,event,%2 %3 %4")
                                                  .arg(keys, kEvent)
                                                  .arg(QCoreApplication::applicationPid())
                                                  .arg(id)
                                                  .toUtf8());
        if (!reply || reply->trimmed() != "ok") {
            if (bound.isEmpty())
                return {-4, QStringLiteral("Hyprland refused the bind %1: %2")
                                .arg(keys, reply ? QString::fromUtf8(reply->left(200)).trimmed() : QStringLiteral("no answer"))};
            continue;
        }
        bound << keys;
    }
    m_binds.insert(id, bound);
    return {};
}

void HyprlandHotkeyRegistrar::unregisterHotkey(quint32 id)
{
    for (const QString& keys : m_binds.take(id))
        m_hyprland.request(QStringLiteral("keyword unbind %1").arg(keys).toUtf8());
}

void HyprlandHotkeyRegistrar::customEvent(const QString& data)
{
    const QString ours = QStringLiteral("%1 %2 ").arg(kEvent).arg(QCoreApplication::applicationPid());
    if (!data.startsWith(ours))
        return;
    bool ok = false;
    const quint32 id = data.mid(ours.size()).toUInt(&ok);
    if (ok && m_binds.contains(id))
        Q_EMIT hotkeyPressed(id);
}
