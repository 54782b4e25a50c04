#pragma once

#include "Platform/EventPoster.h"
#include "Platform/X11/X11Guardian.h"

#include <QByteArray>
#include <vector>

struct _XDisplay;

// Synthesises input with the XTEST extension on a connection of its own. XTEST events
// carry no modifier flags, so around each key event the poster presses or releases
// modifier keys until the server's modifier state equals the recorded flags (command
// = Super, option = Alt, option with the right-option bit = AltGr, control, shift,
// caps lock), and remembers what it pressed. Those modifiers are let go before the
// next event that is not a key event.
class X11EventPoster : public EventPoster
{
public:
    // Most wheel clicks one scroll event makes; larger deltas (hand-made files) are cut.
    static constexpr int maxWheelClicks = 1000;

    explicit X11EventPoster(QByteArray displayName = {});
    ~X11EventPoster() override;

    bool isConnected() const { return m_display != nullptr; }

    void prepare() override;
    bool post(const SyntheticEvent& event) override;
    bool activateApplication(const QString& id) override;
    void releaseModifiers() override;
    std::optional<QString> frontmostApplicationId() override;

private:
    void readModifierState();
    unsigned levelThreeKeycode() const;
    void matchModifiers(std::uint64_t flags, bool includingCapsLock = true);
    void setModifier(unsigned keycode, unsigned mask, bool down);
    void letGoOfModifiers();
    void moveTo(double x, double y);
    void key(unsigned keycode, bool press);
    void clickWheel(unsigned button, std::int32_t delta);

    _XDisplay* m_display = nullptr;
    X11Guardian m_guardian;
    bool m_stateKnown = false;
    unsigned m_modifierState = 0;      // the server's modifier mask as the poster left it
    struct PressedModifier {
        unsigned keycode;
        unsigned mask;
    };
    std::vector<PressedModifier> m_pressedModifiers; // what the poster holds down
    unsigned m_altGrKeycode = 0;              // the key that sets Mod5, from the keymap
    int m_capsLockToggles = 0;
};
