#pragma once

#include "Platform/HotkeyRegistrar.h"

#include <QSet>

// Hotkeys on GNOME Shell through Quillo's extension: each chord is an accelerator grabbed
// in the shell (so it works whichever window is in front, also with a menu or the
// overview open), and each press comes back as a signal to this process alone. A chord
// the shell or another program holds is refused; the shell lets go of them all when
// Quillo leaves the session bus.
class GnomeHotkeyRegistrar : public HotkeyRegistrar
{
    Q_OBJECT
public:
    explicit GnomeHotkeyRegistrar(QObject* parent = nullptr);
    ~GnomeHotkeyRegistrar() override;

    // Whether the extension answers; false with the reason.
    bool start(QString* problem);
    Registration registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords) override;
    void unregisterHotkey(quint32 id) override;
    QString mechanism() const override { return QStringLiteral("GNOME Shell (Quillo's extension)"); }

    // "<Super><Alt>0x1b": the physical key by its keycode, whatever the layout.
    static QString accelerator(const HotkeyChord& chord);

private Q_SLOTS:
    void pressed(uint id);

private:
    QSet<quint32> m_ids;
};
