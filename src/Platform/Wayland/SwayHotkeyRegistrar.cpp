#include "Platform/Wayland/SwayHotkeyRegistrar.h"

#include "Platform/Wayland/SwayIpc.h"
#include "Platform/Wayland/SwayProvider.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocalSocket>
#include <QRegularExpression>

namespace {

const QString kCommand = QStringLiteral("nop quillo-hotkey");

// sway's modifier names and their synonyms.
QString canonicalModifier(const QString& name)
{
    const QString n = name.toLower();
    if (n == QLatin1String("mod4") || n == QLatin1String("super"))
        return QStringLiteral("Mod4");
    if (n == QLatin1String("mod1") || n == QLatin1String("alt"))
        return QStringLiteral("Mod1");
    if (n == QLatin1String("ctrl") || n == QLatin1String("control"))
        return QStringLiteral("Control");
    if (n == QLatin1String("shift"))
        return QStringLiteral("Shift");
    if (n == QLatin1String("mod5"))
        return QStringLiteral("Mod5");
    return name;
}

// A combination with its modifiers in one order, its key in lower case.
QString normalized(const QString& combo)
{
    QStringList parts = combo.split(QLatin1Char('+'));
    const QString key = parts.takeLast().toLower();
    for (QString& p : parts)
        p = canonicalModifier(p);
    parts.sort();
    parts << key;
    return parts.join(QLatin1Char('+'));
}

} // namespace

SwayHotkeyRegistrar::SwayHotkeyRegistrar(SwayProvider& sway, std::function<QString(quint16)> keyName, QObject* parent)
    : HotkeyRegistrar(parent), m_sway(sway), m_keyName(std::move(keyName))
{
}

SwayHotkeyRegistrar::~SwayHotkeyRegistrar()
{
    for (const quint32 id : m_combos.keys())
        unregisterHotkey(id);
}

bool SwayHotkeyRegistrar::start(QString* problem)
{
    const QString path = m_sway.socketPath();
    m_events = new QLocalSocket(this);
    m_events->connectToServer(path);
    if (!m_events->waitForConnected(1000)) {
        if (problem)
            *problem = QStringLiteral("sway's IPC socket %1 does not answer").arg(path);
        return false;
    }
    connect(m_events, &QLocalSocket::readyRead, this, &SwayHotkeyRegistrar::readEvents);
    m_events->write(SwayIpc::frame(SwayIpc::subscribe, QByteArrayLiteral("[\"binding\"]")));
    m_events->flush();
    return true;
}

QString SwayHotkeyRegistrar::keysymName(quint16 keyCode, const QString& layoutName)
{
    static const QHash<QString, QString> named = {
        {QStringLiteral("-"), QStringLiteral("minus")},       {QStringLiteral("="), QStringLiteral("equal")},
        {QStringLiteral("["), QStringLiteral("bracketleft")}, {QStringLiteral("]"), QStringLiteral("bracketright")},
        {QStringLiteral("\\"), QStringLiteral("backslash")},  {QStringLiteral(";"), QStringLiteral("semicolon")},
        {QStringLiteral("'"), QStringLiteral("apostrophe")},  {QStringLiteral(","), QStringLiteral("comma")},
        {QStringLiteral("."), QStringLiteral("period")},      {QStringLiteral("/"), QStringLiteral("slash")},
        {QStringLiteral("`"), QStringLiteral("grave")},       {QStringLiteral("\u00a7"), QStringLiteral("section")},
        {QStringLiteral("Space"), QStringLiteral("space")},   {QStringLiteral("Backspace"), QStringLiteral("BackSpace")},
        {QStringLiteral("Page Up"), QStringLiteral("Prior")}, {QStringLiteral("Page Down"), QStringLiteral("Next")},
        {QStringLiteral("Keypad ."), QStringLiteral("KP_Decimal")}, {QStringLiteral("Keypad *"), QStringLiteral("KP_Multiply")},
        {QStringLiteral("Keypad Plus"), QStringLiteral("KP_Add")},  {QStringLiteral("Keypad -"), QStringLiteral("KP_Subtract")},
        {QStringLiteral("Keypad /"), QStringLiteral("KP_Divide")},  {QStringLiteral("Keypad Enter"), QStringLiteral("KP_Enter")},
        {QStringLiteral("Keypad ="), QStringLiteral("KP_Equal")},
    };
    // A character key as this layout types it: its keysym.
    if (layoutName.size() == 1 || (layoutName.size() == 2 && layoutName.at(0).isHighSurrogate())) {
        const char32_t c = layoutName.toLower().toUcs4().value(0);
        if (c < 0x80 && QChar(c).isLetterOrNumber())
            return QString(QChar(c));
        if (const auto it = named.constFind(layoutName); it != named.constEnd())
            return *it;
        return QLatin1Char('U') + QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
    }
    const QString us = HotkeyChord::keyName(keyCode);
    if (us.isEmpty())
        return {};
    if (us.size() == 1 && us.at(0).isLetterOrNumber())
        return us.toLower();
    if (const auto it = named.constFind(us); it != named.constEnd())
        return *it;
    if (us.startsWith(QLatin1String("Keypad ")))
        return QStringLiteral("KP_") + us.mid(7);
    return us; // Return, Tab, Escape, Delete, Home, Left, F5, ...
}

QString SwayHotkeyRegistrar::combo(const HotkeyChord& chord) const
{
    QStringList parts;
    if (chord.modifiers & HotkeyChord::command)
        parts << QStringLiteral("Mod4");
    if (chord.modifiers & HotkeyChord::option)
        parts << QStringLiteral("Mod1");
    if (chord.modifiers & HotkeyChord::control)
        parts << QStringLiteral("Control");
    if (chord.modifiers & HotkeyChord::shift)
        parts << QStringLiteral("Shift");
    if (chord.modifiers & HotkeyChord::altGr)
        parts << QStringLiteral("Mod5");
    const QString key = keysymName(quint16(chord.keyCode), m_keyName ? m_keyName(quint16(chord.keyCode)) : QString());
    if (key.isEmpty())
        return {};
    parts << key;
    return parts.join(QLatin1Char('+'));
}

std::optional<QString> SwayHotkeyRegistrar::configBinding(const QString& config, const QString& combo)
{
    QHash<QString, QString> variables;
    int modeDepth = 0, depth = 0;
    const QString wanted = normalized(combo);
    for (QString line : config.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const bool opens = line.endsWith(QLatin1Char('{'));
        if (line.startsWith(QLatin1Char('}'))) {
            if (modeDepth == depth)
                modeDepth = 0;
            depth = std::max(0, depth - 1);
            continue;
        }
        if (opens) {
            ++depth;
            if (line.startsWith(QLatin1String("mode ")) && modeDepth == 0)
                modeDepth = depth; // bindings of another mode
            continue;
        }
        QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")));
        if (words.value(0) == QLatin1String("set") && words.size() >= 3) {
            variables.insert(words[1], words.mid(2).join(QLatin1Char(' ')));
            continue;
        }
        if (modeDepth != 0 || words.value(0) != QLatin1String("bindsym"))
            continue;
        words.removeFirst();
        while (!words.isEmpty() && words.first().startsWith(QLatin1String("--")))
            words.removeFirst();
        if (words.isEmpty())
            continue;
        QString bound = words.first();
        for (auto it = variables.constBegin(); it != variables.constEnd(); ++it)
            bound.replace(it.key(), it.value());
        if (normalized(bound) == wanted)
            return line;
    }
    return std::nullopt;
}

bool SwayHotkeyRegistrar::run(const QString& commands)
{
    const auto reply = m_sway.request(SwayIpc::runCommand, commands.toUtf8());
    if (!reply)
        return false;
    for (const QJsonValue result : reply->array())
        if (!result.toObject().value(QStringLiteral("success")).toBool())
            return false;
    return true;
}

HotkeyRegistrar::Registration SwayHotkeyRegistrar::registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords)
{
    if (chords.empty())
        return {-2, QStringLiteral("no chord")};
    const QString first = combo(chords.front());
    if (first.isEmpty())
        return {-2, QStringLiteral("sway has no name for this key")};
    const auto config = m_sway.request(SwayIpc::getConfig);
    if (!config)
        return {-1, QStringLiteral("sway's IPC socket does not answer")};
    const QString text = config->object().value(QStringLiteral("config")).toString();
    if (const auto line = configBinding(text, first))
        return {-3, QStringLiteral("sway's configuration already binds %1 (%2)").arg(first, *line)};
    unregisterHotkey(id);
    QStringList bound, commands;
    for (const HotkeyChord& chord : chords) {
        const QString c = combo(chord);
        // An alternative the configuration binds stays the user's.
        if (c.isEmpty() || (!bound.isEmpty() && configBinding(text, c)))
            continue;
        bound << c;
        commands << QStringLiteral("bindsym --no-repeat %1 %2 %3 %4").arg(c, kCommand).arg(QCoreApplication::applicationPid()).arg(id);
    }
    if (!run(commands.join(QStringLiteral("; "))))
        return {-4, QStringLiteral("sway refused the binding %1").arg(first)};
    m_combos.insert(id, bound);
    return {};
}

void SwayHotkeyRegistrar::unregisterHotkey(quint32 id)
{
    const QStringList combos = m_combos.take(id);
    if (combos.isEmpty())
        return;
    QStringList commands;
    for (const QString& c : combos)
        commands << QStringLiteral("unbindsym %1").arg(c);
    run(commands.join(QStringLiteral("; ")));
}

void SwayHotkeyRegistrar::readEvents()
{
    m_buffer += m_events->readAll();
    quint32 type = 0;
    QByteArray payload;
    const QString ours = QStringLiteral("%1 %2 ").arg(kCommand).arg(QCoreApplication::applicationPid());
    while (SwayIpc::takeMessage(m_buffer, type, payload)) {
        if (type != SwayIpc::bindingEvent)
            continue;
        const QString command =
            QJsonDocument::fromJson(payload).object().value(QStringLiteral("binding")).toObject().value(QStringLiteral("command")).toString();
        if (!command.startsWith(ours))
            continue;
        bool ok = false;
        const quint32 id = command.mid(ours.size()).toUInt(&ok);
        if (ok && m_combos.contains(id))
            Q_EMIT hotkeyPressed(id);
    }
    // A reply of sway's that never ends must not grow without bound.
    if (m_buffer.size() > 1 << 20)
        m_buffer.clear();
}
