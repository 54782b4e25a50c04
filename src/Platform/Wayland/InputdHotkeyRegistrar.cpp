#include "Platform/Wayland/InputdHotkeyRegistrar.h"

#include "Platform/Linux/KeyCodeMap.h"

#include <QSocketNotifier>

InputdHotkeyRegistrar::InputdHotkeyRegistrar(QString socketPath, QObject* parent)
    : HotkeyRegistrar(parent), m_socketPath(socketPath.isEmpty() ? InputdClient::socketPath() : std::move(socketPath))
{
    m_retry.setInterval(2000);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        QString problem;
        if (ensureConnected(problem) && sendTable())
            m_retry.stop();
    });
}

InputdHotkeyRegistrar::~InputdHotkeyRegistrar() = default;

std::optional<InputdProtocol::WatchedChord> InputdHotkeyRegistrar::watched(quint32 id, const HotkeyChord& chord)
{
    const auto evdev = KeyCodeMap::evdevFromMac(quint16(chord.keyCode));
    if (!evdev)
        return std::nullopt;
    using namespace InputdProtocol::HotkeyModifier;
    std::uint8_t modifiers = 0;
    if (chord.modifiers & HotkeyChord::shift)
        modifiers |= shift;
    if (chord.modifiers & HotkeyChord::control)
        modifiers |= control;
    if (chord.modifiers & HotkeyChord::option)
        modifiers |= alt;
    if (chord.modifiers & HotkeyChord::command)
        modifiers |= super;
    if (chord.modifiers & HotkeyChord::altGr)
        modifiers |= alt; // the helper cannot tell AltGr from Alt
    return InputdProtocol::WatchedChord{id, std::uint16_t(*evdev), modifiers};
}

bool InputdHotkeyRegistrar::ensureConnected(QString& problem)
{
    if (m_client.isConnected() && !m_client.failed())
        return true;
    delete m_notifier;
    m_notifier = nullptr;
    if (!m_client.connect(m_socketPath, problem))
        return false;
    m_notifier = new QSocketNotifier(m_client.descriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InputdHotkeyRegistrar::readReplies);
    return true;
}

bool InputdHotkeyRegistrar::sendTable()
{
    InputdProtocol::WatchHotkeys table;
    for (auto it = m_chords.constBegin(); it != m_chords.constEnd(); ++it)
        table.chords.insert(table.chords.end(), it->begin(), it->end());
    if (table.chords.size() > InputdProtocol::WatchHotkeys::maxChords)
        table.chords.resize(InputdProtocol::WatchHotkeys::maxChords);
    return m_client.send(table);
}

HotkeyRegistrar::Registration InputdHotkeyRegistrar::registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords)
{
    if (chords.empty() || !watched(id, chords.front()))
        return {-2, QStringLiteral("this key has no key code")};
    QString problem;
    if (!ensureConnected(problem))
        return {-1, problem};
    std::vector<InputdProtocol::WatchedChord> table;
    for (const HotkeyChord& chord : chords)
        if (const auto w = watched(id, chord); w && std::find(table.begin(), table.end(), *w) == table.end())
            table.push_back(*w);
    m_chords.insert(id, table);
    if (!sendTable()) {
        m_chords.remove(id);
        return {-1, QStringLiteral("the input helper stopped answering")};
    }
    return {};
}

void InputdHotkeyRegistrar::unregisterHotkey(quint32 id)
{
    if (m_chords.remove(id) && m_client.isConnected())
        sendTable();
}

void InputdHotkeyRegistrar::readReplies()
{
    while (const auto message = m_client.receive(0)) {
        if (const auto* matched = std::get_if<InputdProtocol::HotkeyMatched>(&*message); matched && m_chords.contains(matched->id))
            Q_EMIT hotkeyPressed(matched->id);
    }
    if (m_client.failed() || !m_client.isConnected()) {
        // The helper went away (restarted): the chords are asked for again when it is back.
        delete m_notifier;
        m_notifier = nullptr;
        m_client.close();
        if (!m_chords.isEmpty())
            m_retry.start();
    }
}
