#pragma once

// The messages between Quillo and quillo-inputd on the helper's socket. Each message is
// a frame: a little-endian u32 payload length (1 to maxPayload), then the payload: a u8
// type and the type's fields, little-endian; a text is a u16 length and UTF-8 bytes.
// Captured and posted events are the kernel's own (evdev type, code, value).
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace InputdProtocol {

inline constexpr std::uint16_t version = 3;
inline constexpr std::uint32_t maxPayload = 1024;
inline constexpr const char* defaultSocketPath = "/run/quillo-inputd/socket";

enum class Type : std::uint8_t {
    hello = 1,          // client: its protocol version
    welcome = 2,        // helper: its version; the client may go on
    refused = 3,        // helper: its version and why; the connection ends
    startCapture = 4,   // client
    stopCapture = 5,    // client
    captureStopped = 6, // helper: every event captured before the stop has been sent
    inputEvent = 7,     // helper: one captured event with the kernel's time
    post = 8,           // client: one event for the virtual devices
    releaseAll = 9,     // client: let go of everything this client pressed
    error = 10,         // helper: a request failed (the connection stays)
    watchHotkeys = 11,  // client: the chords to watch the keyboards for (none: stop)
    hotkeyMatched = 12, // helper: one of them was pressed (nothing else of the typing)
    captureStarted = 13, // helper: the devices are open; every event from now on is sent
};

// A chord's modifiers in watchHotkeys.
namespace HotkeyModifier {
inline constexpr std::uint8_t shift = 1, control = 2, alt = 4, super = 8, altGr = 16;
}

struct Hello { std::uint16_t version = InputdProtocol::version; bool operator==(const Hello&) const = default; };
struct Welcome { std::uint16_t version = InputdProtocol::version; bool operator==(const Welcome&) const = default; };
struct Refused {
    std::uint16_t version = InputdProtocol::version;
    std::string reason;
    bool operator==(const Refused&) const = default;
};
struct StartCapture { bool operator==(const StartCapture&) const = default; };
struct StopCapture { bool operator==(const StopCapture&) const = default; };
struct CaptureStarted { bool operator==(const CaptureStarted&) const = default; };
struct CaptureStopped { bool operator==(const CaptureStopped&) const = default; };
struct InputEvent {
    std::uint16_t device = 0; // the helper's number for the device it came from
    std::uint16_t type = 0;   // EV_KEY, EV_REL, EV_SYN
    std::uint16_t code = 0;
    std::int32_t value = 0;
    std::int64_t seconds = 0; // CLOCK_MONOTONIC, as the kernel stamped it
    std::int32_t microseconds = 0;
    bool operator==(const InputEvent&) const = default;
};
struct Post {
    std::uint16_t type = 0;
    std::uint16_t code = 0;
    std::int32_t value = 0;
    bool operator==(const Post&) const = default;
};
struct ReleaseAll { bool operator==(const ReleaseAll&) const = default; };
struct Error { std::string text; bool operator==(const Error&) const = default; };
struct WatchedChord {
    std::uint32_t id = 0;
    std::uint16_t code = 0;     // the key's evdev code
    std::uint8_t modifiers = 0; // HotkeyModifier bits, all of them held and no others
    bool operator==(const WatchedChord&) const = default;
};
struct WatchHotkeys {
    static constexpr std::size_t maxChords = 128;
    std::vector<WatchedChord> chords;
    bool operator==(const WatchHotkeys&) const = default;
};
struct HotkeyMatched { std::uint32_t id = 0; bool operator==(const HotkeyMatched&) const = default; };

using Message = std::variant<Hello, Welcome, Refused, StartCapture, StopCapture, CaptureStopped, InputEvent, Post,
                             ReleaseAll, Error, WatchHotkeys, HotkeyMatched, CaptureStarted>;

} // namespace InputdProtocol
