#pragma once

#include "Platform/HotkeyRegistrar.h"

#include <QHash>
#include <QMap>

// Chords held in memory; the test presses them and can have some refused.
class FakeHotkeyRegistrar : public HotkeyRegistrar
{
    Q_OBJECT
public:
    struct Combination {
        quint32 keyCode, modifiers, id;
        bool operator==(const Combination&) const = default;
    };

    Registration registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords) override
    {
        if (chords.empty() || m_refusedIds.contains(id))
            return {-9878, QStringLiteral("refused by the test")};
        if (const auto reason = m_refusedChords.constFind(chords.front().portableText()); reason != m_refusedChords.constEnd())
            return {-9879, *reason};
        for (const HotkeyChord& c : chords)
            if (!m_refusedChords.contains(c.portableText()))
                m_active.insert(id, c);
        return {};
    }
    void unregisterHotkey(quint32 id) override { m_active.remove(id); }
    QString mechanism() const override { return QStringLiteral("the test's fake"); }

    void refuse(quint32 id) { m_refusedIds.insert(id, true); }
    // Another program holds `chord`.
    void refuseChord(const HotkeyChord& chord, const QString& reason) { m_refusedChords.insert(chord.portableText(), reason); }
    // Every chord held, alternatives included.
    QList<Combination> active() const
    {
        QList<Combination> all;
        for (auto it = m_active.begin(); it != m_active.end(); ++it)
            all << Combination{it.value().keyCode, it.value().modifiers, it.key()};
        return all;
    }
    // The first chord registered for each id.
    QList<Combination> main() const
    {
        QList<Combination> firsts;
        for (const quint32 id : m_active.uniqueKeys()) {
            const QList<HotkeyChord> chords = m_active.values(id);
            firsts << Combination{chords.last().keyCode, chords.last().modifiers, id}; // QMultiMap: newest first
        }
        return firsts;
    }
    // The desktop's own settings give `id` another chord.
    void changeFromDesktop(quint32 id, const HotkeyChord& chord)
    {
        m_active.remove(id);
        m_active.insert(id, chord);
        Q_EMIT chordChangedByDesktop(id, chord);
    }
    // Presses a chord: reported for each id that holds exactly it.
    void press(quint32 keyCode, quint32 modifiers)
    {
        for (auto it = m_active.begin(); it != m_active.end(); ++it)
            if (it.value() == HotkeyChord{keyCode, modifiers})
                Q_EMIT hotkeyPressed(it.key());
    }

private:
    QMultiMap<quint32, HotkeyChord> m_active;
    QHash<quint32, bool> m_refusedIds;
    QHash<QString, QString> m_refusedChords;
};
