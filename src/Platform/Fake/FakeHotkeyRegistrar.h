#pragma once

#include "Platform/HotkeyRegistrar.h"

#include <QHash>
#include <QSet>

// Combinations held in memory; the test presses them and can make some refused.
class FakeHotkeyRegistrar : public HotkeyRegistrar
{
    Q_OBJECT
public:
    struct Combination {
        quint32 keyCode, modifiers, id;
        bool operator==(const Combination&) const = default;
    };

    Registration registerHotkey(quint32 keyCode, quint32 modifiers, quint32 id) override
    {
        if (m_refusedIds.contains(id))
            return {-9878, 0};
        m_active.insert(++m_lastHandle, {keyCode, modifiers, id});
        return {0, m_lastHandle};
    }
    void unregisterHotkey(quint64 handle) override { m_active.remove(handle); }

    void refuse(quint32 id) { m_refusedIds.insert(id); }
    QList<Combination> active() const { return m_active.values(); }
    // Presses a combination: reported only when registered.
    void press(quint32 keyCode, quint32 modifiers)
    {
        for (const Combination& c : std::as_const(m_active)) {
            const quint32 required = c.modifiers & ~whateverElseHeld;
            const bool matches = (c.modifiers & whateverElseHeld) ? (modifiers & required) == required
                                                                  : modifiers == required;
            if (c.keyCode == keyCode && matches)
                Q_EMIT hotkeyPressed(c.id);
        }
    }

private:
    QHash<quint64, Combination> m_active;
    QSet<quint32> m_refusedIds;
    quint64 m_lastHandle = 0;
};
