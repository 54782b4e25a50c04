#include "Services/HotkeyService.h"

#include "Services/LogService.h"

const std::vector<HotkeyConfig>& HotkeyService::defaults()
{
    static const std::vector<HotkeyConfig> table = {
        {15, commandModifier | optionModifier, 1},
        {15, commandModifier | optionModifier | HotkeyChord::shift, 2},
        {35, commandModifier | optionModifier, 3},
    };
    return table;
}

HotkeyService::HotkeyService(HotkeyRegistrar& registrar, const Clock& clock, QObject* parent)
    : QObject(parent), m_registrar(registrar), m_clock(clock)
{
    connect(&m_registrar, &HotkeyRegistrar::hotkeyPressed, this, &HotkeyService::handlePress);
    connect(&m_registrar, &HotkeyRegistrar::chordChangedByDesktop, this, [this](quint32 id, const HotkeyChord& chord) {
        if (!m_chords.contains(id) || m_chords.value(id) == chord)
            return;
        appLog(QStringLiteral("The desktop's settings gave hotkey id=%1 the chord %2").arg(id).arg(chord.portableText()),
               LogEntry::Level::info);
        m_chords.insert(id, chord);
        m_problems.remove(id);
        Q_EMIT chordChangedByDesktop(id, chord);
        Q_EMIT changed();
    });
}

std::optional<HotkeyChord> HotkeyService::chord(quint32 id) const
{
    if (const auto it = m_chords.constFind(id); it != m_chords.constEnd())
        return *it;
    return std::nullopt;
}

std::optional<quint32> HotkeyService::idWithChord(const HotkeyChord& chord) const
{
    for (auto it = m_chords.constBegin(); it != m_chords.constEnd(); ++it)
        if (it.value() == chord)
            return it.key();
    return std::nullopt;
}

std::vector<HotkeyChord> HotkeyService::chordsFor(quint32 id, const HotkeyChord& chord) const
{
    std::vector<HotkeyChord> chords{chord};
    if (!m_lenientIds.contains(id))
        return chords;
    std::vector<quint32> others;
    for (const quint32 m : {HotkeyChord::shift, HotkeyChord::control, HotkeyChord::option, HotkeyChord::command,
                            HotkeyChord::altGr})
        if (!(chord.modifiers & m))
            others.push_back(m);
    for (quint32 subset = 1; subset < (1u << others.size()); ++subset) {
        HotkeyChord variant = chord;
        for (std::size_t i = 0; i < others.size(); ++i)
            if (subset & (1u << i))
                variant.modifiers |= others[i];
        const auto holder = idWithChord(variant);
        if (!holder || *holder == id)
            chords.push_back(variant);
    }
    return chords;
}

void HotkeyService::logRefusal(quint32 id, const HotkeyChord& chord, const HotkeyRegistrar::Registration& result)
{
    const QString text = chord.portableText();
    appLog(QStringLiteral("[HotkeyService] Failed to register hotkey id=%1 (%2), status=%3: %4")
               .arg(id)
               .arg(text.isEmpty() ? QStringLiteral("key %1").arg(chord.keyCode) : text)
               .arg(result.status)
               .arg(result.reason),
           LogEntry::Level::error);
}

HotkeyRegistrar::Registration HotkeyService::place(quint32 id, const HotkeyChord& chord)
{
    m_registrar.unregisterHotkey(id);
    return m_registrar.registerHotkey(id, chordsFor(id, chord));
}

bool HotkeyService::registerHotkey(const HotkeyConfig& config)
{
    const HotkeyChord wanted = config.chord();
    const std::optional<HotkeyChord> earlier = chord(config.id);
    if (m_suspended) {
        m_chords.insert(config.id, wanted);
        m_problems.remove(config.id);
        Q_EMIT changed();
        return true;
    }
    // An alternative of a lenient id may hold the chord: it makes way.
    m_chords.insert(config.id, wanted);
    for (const quint32 other : std::as_const(m_lenientIds))
        if (other != config.id && m_chords.contains(other))
            place(other, m_chords.value(other));
    const auto result = place(config.id, wanted);
    if (!result.ok()) {
        logRefusal(config.id, wanted, result);
        m_problems.insert(config.id, result.reason);
        if (earlier && *earlier != wanted && place(config.id, *earlier).ok())
            m_chords.insert(config.id, *earlier);
        else
            m_chords.remove(config.id);
        Q_EMIT changed();
        return false;
    }
    m_problems.remove(config.id);
    Q_EMIT changed();
    return true;
}

void HotkeyService::unregisterHotkey(quint32 id)
{
    if (!m_chords.remove(id))
        return;
    m_problems.remove(id);
    m_lenientIds.remove(id);
    if (!m_suspended)
        m_registrar.unregisterHotkey(id);
    Q_EMIT changed();
}

void HotkeyService::setLenient(quint32 id, bool lenient)
{
    if (m_lenientIds.contains(id) == lenient || !m_chords.contains(id))
        return;
    if (lenient)
        m_lenientIds.insert(id);
    else
        m_lenientIds.remove(id);
    if (!m_suspended)
        place(id, m_chords.value(id)); // only the alternatives change: the chord itself was ours
}

void HotkeyService::setSuspended(bool suspended)
{
    if (m_suspended == suspended)
        return;
    m_suspended = suspended;
    if (suspended) {
        for (auto it = m_chords.constBegin(); it != m_chords.constEnd(); ++it)
            m_registrar.unregisterHotkey(it.key());
    } else {
        // Another program may have taken a chord in the meantime: that id has none then.
        QList<quint32> lost;
        for (auto it = m_chords.constBegin(); it != m_chords.constEnd(); ++it)
            if (const auto result = place(it.key(), it.value()); !result.ok()) {
                logRefusal(it.key(), it.value(), result);
                m_problems.insert(it.key(), result.reason);
                lost << it.key();
            }
        for (const quint32 id : std::as_const(lost))
            m_chords.remove(id);
    }
    Q_EMIT changed();
}

void HotkeyService::handlePress(quint32 id)
{
    if (m_suspended || !m_chords.contains(id))
        return;
    const double now = m_clock.now();
    if (const auto last = m_lastFireTimes.constFind(id);
        last != m_lastFireTimes.constEnd() && now - *last < debounceInterval)
        return;
    m_lastFireTimes.insert(id, now);
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            if (m_onHotKey)
                m_onHotKey(id);
        },
        Qt::QueuedConnection);
}
