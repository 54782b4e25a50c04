#pragma once

#include "Models/HotkeyChord.h"

#include <QObject>
#include <QString>
#include <vector>

// System-wide key combinations, each under an id that is reported when it is pressed.
// X11 grabs keys on the root window; under Wayland the desktop itself delivers them.
class HotkeyRegistrar : public QObject
{
    Q_OBJECT
public:
    struct Registration {
        int status = 0; // 0 when the chord is ours; the platform's error otherwise
        QString reason; // why not, for people
        bool ok() const { return status == 0; }
    };

    using QObject::QObject;

    // Registers `chords` under `id` (which must have none): the first must be taken,
    // else nothing is and the result says why; the others are alternatives taken where
    // they are free (the same chord with other modifiers held, while a playback runs).
    virtual Registration registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords) = 0;
    virtual void unregisterHotkey(quint32 id) = 0;
    // How chords reach Quillo here ("X11 key grabs", "KDE Plasma's global shortcuts"...).
    virtual QString mechanism() const = 0;
    // What `id` does, for desktops that list hotkeys in their own settings: a name that
    // stays the same from run to run ("toggle-recording", "macro-<uuid>") and a title.
    virtual void describe(quint32 id, const QString& uniqueName, const QString& title)
    {
        Q_UNUSED(id);
        Q_UNUSED(uniqueName);
        Q_UNUSED(title);
    }

Q_SIGNALS:
    // A registered chord was pressed (main thread).
    void hotkeyPressed(quint32 id);
    // The desktop's own settings gave `id` another chord (KDE's shortcut settings).
    void chordChangedByDesktop(quint32 id, const HotkeyChord& chord);
};
