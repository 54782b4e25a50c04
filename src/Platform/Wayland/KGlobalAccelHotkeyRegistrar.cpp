#include "Platform/Wayland/KGlobalAccelHotkeyRegistrar.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>

namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kPath = QStringLiteral("/kglobalaccel");
const QString kInterface = QStringLiteral("org.kde.KGlobalAccel");

// kglobalaccel's flags: the keys given are the ones to use, not those of its own file.
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;

// A key sequence as kglobalaccel sends it: a structure of up to four key codes.
struct KeySequence {
    QList<int> keys;
};

QDBusArgument& operator<<(QDBusArgument& argument, const KeySequence& sequence)
{
    argument.beginStructure();
    QList<int> four = sequence.keys;
    while (four.size() < 4)
        four << 0;
    argument << four;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, KeySequence& sequence)
{
    argument.beginStructure();
    argument >> sequence.keys;
    argument.endStructure();
    return argument;
}

// One entry of kglobalaccel's shortcut information, in the order it sends them.
struct ShortcutInfo {
    QString unique, friendly, componentUnique, componentFriendly, contextUnique, contextFriendly;
    QList<int> keys, defaultKeys;
};

QDBusArgument& operator<<(QDBusArgument& argument, const ShortcutInfo& info)
{
    argument.beginStructure();
    argument << info.unique << info.friendly << info.componentUnique << info.componentFriendly << info.contextUnique
             << info.contextFriendly << info.keys << info.defaultKeys;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ShortcutInfo& info)
{
    argument.beginStructure();
    argument >> info.unique >> info.friendly >> info.componentUnique >> info.componentFriendly >> info.contextUnique >>
        info.contextFriendly >> info.keys >> info.defaultKeys;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(KeySequence)
Q_DECLARE_METATYPE(ShortcutInfo)

namespace {

QDBusMessage call(const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 2000);
}

QVariant sequences(const QList<int>& keys)
{
    QList<KeySequence> list;
    for (const int key : keys)
        list << KeySequence{{key}};
    return QVariant::fromValue(list);
}

} // namespace

KGlobalAccelHotkeyRegistrar::KGlobalAccelHotkeyRegistrar(std::function<QString(quint16)> keyName, QObject* parent)
    : HotkeyRegistrar(parent), m_keyName(std::move(keyName))
{
    qDBusRegisterMetaType<KeySequence>();
    qDBusRegisterMetaType<QList<KeySequence>>();
    qDBusRegisterMetaType<ShortcutInfo>();
    qDBusRegisterMetaType<QList<ShortcutInfo>>();
}

KGlobalAccelHotkeyRegistrar::~KGlobalAccelHotkeyRegistrar()
{
    // Still listed in the desktop's settings, but not present while Quillo is not running.
    for (const quint32 id : m_keys.keys())
        call(QStringLiteral("setInactive"), {actionId(id)});
}

bool KGlobalAccelHotkeyRegistrar::start(QString* problem)
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(kService)) {
        if (problem)
            *problem = QStringLiteral("KDE's global shortcut service (org.kde.kglobalaccel) is not on the session bus");
        return false;
    }
    // A chord changed in the desktop's shortcut settings.
    QDBusConnection::sessionBus().connect(kService, kPath, kInterface, QStringLiteral("yourShortcutsChanged"), this,
                                          SLOT(changedElsewhere(QDBusMessage)));
    return true;
}

std::optional<HotkeyChord> KGlobalAccelHotkeyRegistrar::chordOf(int key, const std::function<QString(quint16)>& keyName)
{
    HotkeyChord chord;
    if (key & Qt::MetaModifier)
        chord.modifiers |= HotkeyChord::command;
    if (key & Qt::AltModifier)
        chord.modifiers |= HotkeyChord::option;
    if (key & Qt::ControlModifier)
        chord.modifiers |= HotkeyChord::control;
    if (key & Qt::ShiftModifier)
        chord.modifiers |= HotkeyChord::shift;
    const int plain = key & ~int(Qt::KeyboardModifierMask);
    // Every key a chord may use, asked the way round qtKey() goes.
    for (quint32 code = 0; code < 128; ++code) {
        if (HotkeyChord::keyName(code).isEmpty())
            continue;
        const QString name = keyName ? keyName(quint16(code)) : QString();
        const int candidate = qtKey({code, 0}, name) & ~int(Qt::KeyboardModifierMask);
        if (candidate == plain && !(key & Qt::KeypadModifier) == !(qtKey({code, 0}, name) & Qt::KeypadModifier)) {
            chord.keyCode = code;
            return chord;
        }
    }
    return std::nullopt;
}

void KGlobalAccelHotkeyRegistrar::changedElsewhere(const QDBusMessage& message)
{
    if (message.arguments().size() < 2)
        return;
    const QStringList changed = message.arguments().at(0).toStringList();
    if (changed.value(0) != component)
        return;
    const auto sequences = qdbus_cast<QList<KeySequence>>(message.arguments().at(1));
    for (auto it = m_keys.begin(); it != m_keys.end(); ++it) {
        if (actionId(it.key()).value(1) != changed.value(1) || sequences.isEmpty() || sequences.first().keys.isEmpty())
            continue;
        const int key = sequences.first().keys.first();
        if (key == it.value())
            return;
        if (const auto chord = chordOf(key, m_keyName)) {
            it.value() = key;
            Q_EMIT chordChangedByDesktop(it.key(), *chord);
        }
        return;
    }
}

void KGlobalAccelHotkeyRegistrar::describe(quint32 id, const QString& uniqueName, const QString& title)
{
    m_descriptions.insert(id, {uniqueName, title});
}

QStringList KGlobalAccelHotkeyRegistrar::actionId(quint32 id) const
{
    const auto description = m_descriptions.value(id, {QStringLiteral("hotkey-%1").arg(id), QStringLiteral("Hotkey %1").arg(id)});
    return {component, description.first, QStringLiteral("Quillo"), description.second};
}

int KGlobalAccelHotkeyRegistrar::qtKey(const HotkeyChord& chord, const QString& layoutName)
{
    int key = 0;
    const QString us = HotkeyChord::keyName(chord.keyCode);
    if (layoutName.size() == 1 && !us.startsWith(QLatin1String("Keypad"))) {
        key = int(layoutName.toUpper().at(0).unicode()); // Qt's code of a character key
    } else if (us.startsWith(QLatin1String("Keypad "))) {
        const QString rest = us.mid(7);
        key = Qt::KeypadModifier | (rest == QLatin1String("Enter") ? Qt::Key_Enter
                                    : rest == QLatin1String("Plus") ? Qt::Key_Plus
                                                                    : int(rest.at(0).unicode()));
    } else if (us.size() > 1 && us.startsWith(QLatin1Char('F'))) {
        key = Qt::Key_F1 + us.mid(1).toInt() - 1;
    } else {
        static const QHash<QString, int> named = {
            {QStringLiteral("Return"), Qt::Key_Return},     {QStringLiteral("Tab"), Qt::Key_Tab},
            {QStringLiteral("Space"), Qt::Key_Space},       {QStringLiteral("Backspace"), Qt::Key_Backspace},
            {QStringLiteral("Escape"), Qt::Key_Escape},     {QStringLiteral("Delete"), Qt::Key_Delete},
            {QStringLiteral("Insert"), Qt::Key_Insert},     {QStringLiteral("Home"), Qt::Key_Home},
            {QStringLiteral("End"), Qt::Key_End},           {QStringLiteral("Page Up"), Qt::Key_PageUp},
            {QStringLiteral("Page Down"), Qt::Key_PageDown}, {QStringLiteral("Left"), Qt::Key_Left},
            {QStringLiteral("Right"), Qt::Key_Right},       {QStringLiteral("Up"), Qt::Key_Up},
            {QStringLiteral("Down"), Qt::Key_Down},         {QStringLiteral("Menu"), Qt::Key_Menu},
        };
        key = named.value(us, us.size() == 1 ? int(us.at(0).unicode()) : 0);
    }
    if (key == 0)
        return 0;
    if (chord.modifiers & HotkeyChord::command)
        key |= Qt::MetaModifier;
    if (chord.modifiers & HotkeyChord::option)
        key |= Qt::AltModifier;
    if (chord.modifiers & HotkeyChord::control)
        key |= Qt::ControlModifier;
    if (chord.modifiers & HotkeyChord::shift)
        key |= Qt::ShiftModifier;
    if (chord.modifiers & HotkeyChord::altGr)
        key |= Qt::GroupSwitchModifier;
    return key;
}

QString KGlobalAccelHotkeyRegistrar::holderOf(int key) const
{
    const QDBusMessage reply = call(QStringLiteral("getGlobalShortcutsByKey"), {key});
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        const auto infos = qdbus_cast<QList<ShortcutInfo>>(reply.arguments().first());
        for (const ShortcutInfo& info : infos)
            if (info.componentUnique != component)
                return QStringLiteral("%1 (\u201c%2\u201d)").arg(info.componentFriendly, info.friendly);
    }
    return QStringLiteral("another program");
}

HotkeyRegistrar::Registration KGlobalAccelHotkeyRegistrar::registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords)
{
    QList<int> keys;
    for (const HotkeyChord& chord : chords)
        if (const int key = qtKey(chord, m_keyName ? m_keyName(quint16(chord.keyCode)) : QString()); key != 0)
            keys << key;
        else if (keys.isEmpty())
            return {-2, QStringLiteral("KDE has no name for this key")};
    const QString text = chords.front().portableText();
    if (!m_listening) {
        // The component's object exists once it has a shortcut; its presses come from there.
        call(QStringLiteral("doRegister"), {actionId(id)});
        const QDBusMessage path = call(QStringLiteral("getComponent"), {component});
        if (path.type() == QDBusMessage::ReplyMessage && !path.arguments().isEmpty())
            m_listening = QDBusConnection::sessionBus().connect(
                kService, path.arguments().first().value<QDBusObjectPath>().path(),
                QStringLiteral("org.kde.kglobalaccel.Component"), QStringLiteral("globalShortcutPressed"), this,
                SLOT(pressed(QString, QString, qlonglong)));
    }
    call(QStringLiteral("doRegister"), {actionId(id)});
    const QDBusMessage reply =
        call(QStringLiteral("setShortcutKeys"), {actionId(id), sequences(keys), kSetPresent | kNoAutoloading});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {-1, QStringLiteral("KDE's global shortcut service did not answer: %1").arg(reply.errorMessage())};
    QList<int> set;
    for (const KeySequence& sequence : qdbus_cast<QList<KeySequence>>(reply.arguments().value(0)))
        if (!sequence.keys.isEmpty())
            set << sequence.keys.first();
    if (!set.contains(keys.first())) {
        call(QStringLiteral("setShortcutKeys"), {actionId(id), sequences({}), kSetPresent | kNoAutoloading});
        return {-3, QStringLiteral("%1 already uses %2").arg(holderOf(keys.first()), text)};
    }
    m_keys.insert(id, keys.first());
    return {};
}

void KGlobalAccelHotkeyRegistrar::unregisterHotkey(quint32 id)
{
    if (!m_keys.remove(id))
        return;
    call(QStringLiteral("setShortcutKeys"), {actionId(id), sequences({}), kSetPresent | kNoAutoloading});
}

void KGlobalAccelHotkeyRegistrar::pressed(const QString& componentUnique, const QString& actionUnique, qlonglong)
{
    if (componentUnique != component)
        return;
    for (auto it = m_keys.constBegin(); it != m_keys.constEnd(); ++it)
        if (actionId(it.key()).value(1) == actionUnique)
            Q_EMIT hotkeyPressed(it.key());
}
