#pragma once

#include "Models/ActionType.h"
#include "Models/MouseButton.h"
#include "Models/ScreenWait.h"
#include "Models/SightRef.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <variant>

// One recorded input action: its time from the start of the recording and the
// payload of its kind. Kept small (at most 56 bytes) because recordings are long.
struct MacroAction
{
    // Payload fields have no initialisers so that the structs are default-constructible
    // inside the enclosing class; `Kind{}` and the variant zero them.
    struct KeyDown
    {
        std::uint16_t keyCode;
        std::uint64_t flags;
        bool operator==(const KeyDown&) const = default;
    };
    struct KeyUp
    {
        std::uint16_t keyCode;
        std::uint64_t flags;
        bool operator==(const KeyUp&) const = default;
    };
    struct MouseMove
    {
        double x;
        double y;
        bool operator==(const MouseMove&) const = default;
    };
    struct MouseDown
    {
        double x;
        double y;
        MouseButton button;
        std::uint64_t flags; // modifiers held (Shift+click, Alt+drag); 0 for most
        SightRef sight;      // what the screen showed around the press, when recorded
        bool operator==(const MouseDown&) const = default;
    };
    struct MouseUp
    {
        double x;
        double y;
        MouseButton button;
        std::uint64_t flags; // modifiers held (Shift+click, Alt+drag); 0 for most
        bool operator==(const MouseUp&) const = default;
    };
    struct MouseDrag
    {
        double x;
        double y;
        MouseButton button;
        std::uint64_t flags; // modifiers held (Shift+click, Alt+drag); 0 for most
        bool operator==(const MouseDrag&) const = default;
    };
    struct Scroll
    {
        double x;
        double y;
        std::int32_t deltaX;
        std::int32_t deltaY;
        std::uint64_t flags; // modifiers held (Ctrl+wheel zooms)
        bool operator==(const Scroll&) const = default;
    };
    // The two texts are immutable and shared between copies, which keeps the
    // action small; a copy still compares and behaves as an independent value.
    class WindowFocus
    {
    public:
        WindowFocus() = default;
        WindowFocus(const QString& bundleID, const QString& appName);
        const QString& bundleID() const;
        const QString& appName() const;
        bool operator==(const WindowFocus& other) const;

    private:
        struct Texts
        {
            QString bundleID;
            QString appName;
        };
        std::shared_ptr<const Texts> m_texts;
    };
    struct Delay
    {
        double duration;
        bool operator==(const Delay&) const = default;
    };

    // A step made by hand that waits (see ScreenWait); shared between copies as the
    // other large payloads are.
    class Wait
    {
    public:
        Wait() = default;
        explicit Wait(ScreenWait wait);
        const ScreenWait& get() const;
        const ScreenWait* operator->() const { return &get(); }
        bool operator==(const Wait& other) const;

    private:
        std::shared_ptr<const ScreenWait> m_wait;
    };

    // A step of a kind this version does not know (a newer Quillo's): the type it was read
    // with and the whole action object as it was read (compact JSON), written back as it
    // was and skipped at replay. Shared between copies, as WindowFocus's texts are.
    class Unknown
    {
    public:
        Unknown() = default;
        Unknown(const QString& typeName, const QByteArray& json);
        const QString& typeName() const;
        const QByteArray& json() const;
        bool operator==(const Unknown& other) const;

    private:
        struct Data
        {
            QString typeName;
            QByteArray json;
        };
        std::shared_ptr<const Data> m_data;
    };

    // Alternatives in ActionType order: payload.index() is the ActionType.
    using Payload = std::variant<KeyDown, KeyUp, MouseMove, MouseDown, MouseUp, MouseDrag, Scroll,
                                 WindowFocus, Delay, Wait, Unknown>;

    double timestamp = 0;
    Payload payload;

    ActionType type() const { return static_cast<ActionType>(payload.index()); }
    // The one-line text the action list shows.
    QString displayName() const;

    bool operator==(const MacroAction&) const = default;

    static MacroAction keyDown(double timestamp, std::uint16_t keyCode, std::uint64_t flags);
    static MacroAction keyUp(double timestamp, std::uint16_t keyCode, std::uint64_t flags);
    static MacroAction mouseMove(double timestamp, double x, double y);
    static MacroAction mouseDown(double timestamp, double x, double y, MouseButton button,
                                 std::uint64_t flags = 0);
    static MacroAction mouseUp(double timestamp, double x, double y, MouseButton button,
                               std::uint64_t flags = 0);
    static MacroAction mouseDrag(double timestamp, double x, double y, MouseButton button,
                                 std::uint64_t flags = 0);
    static MacroAction scroll(double timestamp, double x, double y, std::int32_t deltaX,
                              std::int32_t deltaY, std::uint64_t flags = 0);
    // The modifier flags of a mouse or wheel action (0 for other kinds).
    std::uint64_t mouseFlags() const;
    static MacroAction windowFocus(double timestamp, const QString& bundleID,
                                   const QString& appName);
    static MacroAction delay(double timestamp, double duration);
    static MacroAction wait(double timestamp, ScreenWait wait);
};
