#include "ViewModels/HotkeyViewModel.h"

#include "ViewModels/NameText.h"

#include "Codec/CanonicalUuid.h"
#include "Models/KeyChord.h"
#include "Models/Macro.h"
#include "Services/LogService.h"

namespace {

const char* const kActionKeys[] = {"hotkeys/toggleRecording", "hotkeys/stopRecording", "hotkeys/togglePlayback"};

QString uuidText(const QUuid& id)
{
    char text[36];
    CanonicalUuid::write(id, text);
    return QString::fromLatin1(text, 36);
}

} // namespace

HotkeyViewModel::HotkeyViewModel(HotkeyService& service, QSettings& settings, KeyboardLayout& layout,
                                 std::function<QString(const QString&)> translate, QObject* parent)
    : QObject(parent), m_service(service), m_settings(settings), m_layout(layout), m_translate(std::move(translate))
{
    connect(&m_service, &HotkeyService::changed, this, &HotkeyViewModel::changed);
    // Chosen in the desktop's own settings: kept as if chosen here.
    connect(&m_service, &HotkeyService::chordChangedByDesktop, this, [this](quint32 id, const HotkeyChord& chord) {
        if (const QString key = settingsKey(id); !key.isEmpty())
            m_settings.setValue(key, chord.portableText());
    });
}

QString HotkeyViewModel::settingsKey(quint32 id) const
{
    if (id >= toggleRecording && id <= togglePlayback)
        return QString::fromLatin1(kActionKeys[id - 1]);
    if (const auto macro = macroForId(id))
        return QStringLiteral("hotkeys/macros/") + uuidText(*macro);
    return {};
}

HotkeyChord HotkeyViewModel::storedChord(QSettings& settings, quint32 id)
{
    HotkeyChord chord;
    for (const HotkeyConfig& standard : HotkeyService::defaults())
        if (standard.id == id)
            chord = standard.chord();
    if (id < toggleRecording || id > togglePlayback)
        return chord;
    const QString stored = settings.value(QString::fromLatin1(kActionKeys[id - 1])).toString();
    if (const auto chosen = HotkeyChord::fromPortableText(stored); chosen && chosen->hasModifier())
        chord = *chosen;
    return chord;
}

void HotkeyViewModel::registerAll(const std::vector<Macro>& library)
{
    const char* const names[] = {"toggle-recording", "stop-recording", "play-stop"};
    const char* const titles[] = {"Start or stop recording", "Stop recording", "Play or stop the selected macro"};
    for (const HotkeyConfig& standard : HotkeyService::defaults()) {
        const HotkeyChord chord = storedChord(m_settings, standard.id);
        m_service.describe(standard.id, QString::fromLatin1(names[standard.id - 1]), QString::fromLatin1(titles[standard.id - 1]));
        m_service.registerHotkey({chord.keyCode, chord.modifiers, standard.id});
    }
    for (const Macro& macro : library) {
        const QString stored = m_settings.value(QStringLiteral("hotkeys/macros/") + uuidText(macro.id)).toString();
        const auto chosen = HotkeyChord::fromPortableText(stored);
        if (!chosen || !chosen->hasModifier())
            continue;
        const quint32 id = ensureMacroId(macro.id);
        describeMacro(id, macro);
        if (m_service.idWithChord(*chosen)) {
            // Two chords alike in the settings (edited by hand): the first one keeps it.
            appLog(QStringLiteral("The hotkey %1 of \"%2\" is already in use; it is left out")
                       .arg(chosen->portableText(), macro.metadata.name),
                   LogEntry::Level::warn);
            continue;
        }
        m_service.registerHotkey({chosen->keyCode, chosen->modifiers, id});
    }
}

QString HotkeyViewModel::text(const HotkeyChord& chord) const
{
    QString key = m_layout.keyName(std::uint16_t(chord.keyCode));
    if (key.isEmpty())
        key = HotkeyChord::keyName(chord.keyCode);
    return KeyChord::text(chord.eventFlags(), key);
}

QString HotkeyViewModel::text(quint32 id) const
{
    const auto inForce = m_service.chord(id);
    return inForce ? text(*inForce) : QString();
}

QString HotkeyViewModel::stopRecordingChords() const
{
    QStringList chords;
    for (const quint32 id : {toggleRecording, stopRecording})
        if (const QString chord = text(id); !chord.isEmpty())
            chords << chord;
    return chords.join(QStringLiteral(", "));
}

QString HotkeyViewModel::problem(quint32 id) const
{
    const QString reason = m_service.problem(id);
    return reason.isEmpty() ? QString() : m_translate(QStringLiteral("hotkeys.refused")).replace(QStringLiteral("{reason}"), reason);
}

QString HotkeyViewModel::purpose(quint32 id) const
{
    switch (id) {
    case toggleRecording:
        return m_translate(QStringLiteral("settings.hotkeys.start"));
    case stopRecording:
        return m_translate(QStringLiteral("settings.hotkeys.stop"));
    case togglePlayback:
        return m_translate(QStringLiteral("settings.hotkeys.playStop"));
    default:
        return QStringLiteral("\u201c%1\u201d").arg(macroName ? NameText::oneLine(macroName(m_macroIds.value(id))) : QString());
    }
}

QString HotkeyViewModel::refusalBeforeAsking(quint32 id, const HotkeyChord& chord) const
{
    if (!chord.hasModifier() || HotkeyChord::keyName(chord.keyCode).isEmpty())
        return m_translate(QStringLiteral("hotkeys.needsModifier"));
    if (const auto holder = m_service.idWithChord(chord); holder && *holder != id)
        return m_translate(QStringLiteral("hotkeys.inUse")).replace(QStringLiteral("{name}"), purpose(*holder));
    return {};
}

QString HotkeyViewModel::setChord(quint32 id, const HotkeyChord& chord)
{
    if (id < toggleRecording || id > togglePlayback)
        return {};
    if (const QString refused = refusalBeforeAsking(id, chord); !refused.isEmpty())
        return refused;
    if (!m_service.registerHotkey({chord.keyCode, chord.modifiers, id}))
        return problem(id);
    m_settings.setValue(settingsKey(id), chord.portableText());
    appLog(QStringLiteral("Hotkey for %1 is now %2").arg(purpose(id), chord.portableText()), LogEntry::Level::info);
    return {};
}

void HotkeyViewModel::describeMacro(quint32 id, const Macro& macro)
{
    m_service.describe(id, QStringLiteral("macro-") + uuidText(macro.id),
                       QStringLiteral("Play \u201c%1\u201d").arg(NameText::oneLine(macro.metadata.name)));
}

quint32 HotkeyViewModel::ensureMacroId(const QUuid& macro)
{
    if (const auto id = idForMacro(macro))
        return *id;
    const quint32 id = m_nextMacroId++;
    m_macroIds.insert(id, macro);
    return id;
}

std::optional<quint32> HotkeyViewModel::idForMacro(const QUuid& macro) const
{
    for (auto it = m_macroIds.constBegin(); it != m_macroIds.constEnd(); ++it)
        if (it.value() == macro)
            return it.key();
    return std::nullopt;
}

std::optional<HotkeyChord> HotkeyViewModel::chordOfMacro(const QUuid& macro) const
{
    const auto id = idForMacro(macro);
    return id ? chord(*id) : std::nullopt;
}

QString HotkeyViewModel::setMacroChord(const Macro& macro, std::optional<HotkeyChord> chord)
{
    const quint32 id = ensureMacroId(macro.id);
    if (!chord) {
        m_service.unregisterHotkey(id);
        m_settings.remove(settingsKey(id));
        appLog(QStringLiteral("\"%1\" has no hotkey now").arg(macro.metadata.name), LogEntry::Level::info);
        return {};
    }
    if (const QString refused = refusalBeforeAsking(id, *chord); !refused.isEmpty())
        return refused;
    describeMacro(id, macro);
    if (!m_service.registerHotkey({chord->keyCode, chord->modifiers, id}))
        return problem(id);
    m_settings.setValue(settingsKey(id), chord->portableText());
    appLog(QStringLiteral("\"%1\" plays with %2").arg(macro.metadata.name, chord->portableText()), LogEntry::Level::info);
    return {};
}

void HotkeyViewModel::forgetMacro(const QUuid& macro)
{
    const auto id = idForMacro(macro);
    if (!id)
        return;
    m_settings.remove(settingsKey(*id));
    m_service.unregisterHotkey(*id);
    m_macroIds.remove(*id);
}
