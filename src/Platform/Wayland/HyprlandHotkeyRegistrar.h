#pragma once

#include "Platform/HotkeyRegistrar.h"

#include <QHash>
#include <QStringList>
#include <optional>

class HyprlandProvider;

// Hotkeys on Hyprland: each chord becomes a bind added with `keyword bind` whose
// dispatcher sends an event (`event, quillo-hotkey PID ID`); Hyprland delivers it on its
// event socket whichever window is in front. Keys are bound by code (the physical key).
// A chord Hyprland already binds is refused; the binds go when Quillo quits.
class HyprlandHotkeyRegistrar : public HotkeyRegistrar
{
    Q_OBJECT
public:
    explicit HyprlandHotkeyRegistrar(HyprlandProvider& hyprland, QObject* parent = nullptr);
    ~HyprlandHotkeyRegistrar() override;

    Registration registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords) override;
    void unregisterHotkey(quint32 id) override;
    QString mechanism() const override { return QStringLiteral("Hyprland binds"); }

    // "SUPER ALT,code:27": a chord as Hyprland's bind writes it; empty for a key without a code.
    static QString bindKeys(const HotkeyChord& chord);
    // Hyprland's modifier mask of a chord (SHIFT 1, CTRL 4, ALT 8, SUPER 64, MOD5 128).
    static int modmask(const HotkeyChord& chord);

private:
    void customEvent(const QString& data);
    // The bind Hyprland already has for a chord, as people read it.
    std::optional<QString> existingBind(const HotkeyChord& chord) const;

    HyprlandProvider& m_hyprland;
    QHash<quint32, QStringList> m_binds;
};
