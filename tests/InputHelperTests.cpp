// The input helper's pieces that need no kernel: the message codec, the ledger of what
// a client holds, who may connect, and the watch for hotkey chords.
#include "HotkeyWatch.h"
#include "InputdCodec.h"
#include "PeerPolicy.h"
#include "PressLedger.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

using namespace InputdProtocol;

TEST(InputdCodec, EveryMessageSurvivesTheTripInAnyPieces)
{
    const std::vector<Message> messages = {
        Hello{}, Welcome{7}, Refused{1, "ann is not in the group \"quillo\" \xE2\x80\x94 ask"}, StartCapture{},
        StopCapture{}, CaptureStarted{}, CaptureStopped{}, InputEvent{3, EV_REL, REL_WHEEL_HI_RES, -120, 1234567890123, 999999},
        InputEvent{0, EV_KEY, KEY_A, 1, -1, 0}, Post{EV_ABS, ABS_X, 32767}, ReleaseAll{}, Error{""},
        WatchHotkeys{{{1, KEY_R, HotkeyModifier::super | HotkeyModifier::alt}, {0xFFFFFFFF, KEY_F12, 0}}},
        WatchHotkeys{}, HotkeyMatched{101}};
    std::vector<std::uint8_t> stream;
    for (const Message& m : messages) {
        const auto frame = InputdCodec::encode(m);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    for (std::size_t piece : {std::size_t(1), std::size_t(3), std::size_t(7), stream.size()}) {
        InputdCodec::Decoder decoder;
        std::vector<Message> back;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            decoder.feed(stream.data() + at, std::min(piece, stream.size() - at));
            while (auto m = decoder.next())
                back.push_back(*m);
        }
        EXPECT_FALSE(decoder.failed()) << decoder.error();
        EXPECT_EQ(back, messages) << "pieces of " << piece;
        EXPECT_EQ(decoder.buffered(), 0u);
    }
    // A text too long for one frame is cut, never split inside a character.
    const std::string longText = std::string(1500, 'a') + "\xC3\xA9";
    const auto frame = InputdCodec::encode(Error{std::string(1007, 'b') + "\xC3\xA9" + longText});
    EXPECT_LE(frame.size(), 4 + maxPayload);
    InputdCodec::Decoder decoder;
    decoder.feed(frame.data(), frame.size());
    const auto cut = decoder.next();
    ASSERT_TRUE(cut);
    const std::string& text = std::get<Error>(*cut).text;
    EXPECT_NE(std::uint8_t(text.back()) & 0xC0, 0xC0);
}

TEST(InputdCodec, MalformedOrOversizedFramesEndTheConnection)
{
    auto decode = [](std::vector<std::uint8_t> bytes) {
        InputdCodec::Decoder decoder;
        decoder.feed(bytes.data(), bytes.size());
        auto m = decoder.next();
        EXPECT_FALSE(m);
        EXPECT_TRUE(decoder.failed());
        decoder.feed(InputdCodec::encode(Hello{}).data(), 6);
        EXPECT_FALSE(decoder.next()); // nothing more after a failure
        return decoder.error();
    };
    EXPECT_NE(decode({0, 0, 0, 0}).find("0 bytes"), std::string::npos);
    EXPECT_NE(decode({0x01, 0x04, 0, 0, 1}).find("1025 bytes"), std::string::npos);
    EXPECT_NE(decode({0xFF, 0xFF, 0xFF, 0xFF}).find("at most 1024"), std::string::npos);
    EXPECT_NE(decode({1, 0, 0, 0, 99}).find("unknown message type 99"), std::string::npos);
    EXPECT_NE(decode({2, 0, 0, 0, 1, 1}).find("ends too early"), std::string::npos);
    EXPECT_NE(decode({2, 0, 0, 0, 4, 0}).find("left over"), std::string::npos);
    EXPECT_NE(decode({5, 0, 0, 0, 10, 9, 0, 'a', 'b'}).find("ends too early"), std::string::npos);
    // A frame still arriving is not an error.
    InputdCodec::Decoder waiting;
    const std::uint8_t head[] = {20, 0, 0, 0, 7};
    waiting.feed(head, sizeof head);
    EXPECT_FALSE(waiting.next());
    EXPECT_FALSE(waiting.failed());
}

TEST(PressLedger, ReleasesExactlyWhatIsStillHeld)
{
    PressLedger ledger;
    for (const Post& p : {Post{EV_KEY, KEY_LEFTSHIFT, 1}, Post{EV_KEY, KEY_A, 1}, Post{EV_KEY, KEY_A, 2},
                          Post{EV_KEY, KEY_A, 0}, Post{EV_KEY, BTN_LEFT, 1}, Post{EV_REL, REL_X, 5},
                          Post{EV_KEY, KEY_B, 0}})
        ledger.note(p);
    EXPECT_EQ(ledger.held(), (std::set<std::uint16_t>{KEY_LEFTSHIFT, BTN_LEFT}));
    const auto releases = ledger.releaseAll();
    EXPECT_EQ(releases, (std::vector<Post>{{EV_KEY, KEY_LEFTSHIFT, 0}, {EV_SYN, SYN_REPORT, 0},
                                           {EV_KEY, BTN_LEFT, 0}, {EV_SYN, SYN_REPORT, 0}}));
    EXPECT_TRUE(ledger.held().empty());
    EXPECT_TRUE(ledger.releaseAll().empty());
}

TEST(PeerPolicy, RootOrAGroupMemberAtTheComputer)
{
    constexpr gid_t quillo = 990;
    std::map<uid_t, std::vector<gid_t>> groups{{1000, {1000, quillo}}, {1001, {1001}}, {1002, {quillo}}, {1003, {quillo}}};
    std::map<uid_t, std::vector<PeerPolicy::Session>> sessions{
        {1000, {{false, false}, {true, false}}}, {1002, {{true, true}}}, {1003, {}}};
    bool logindAnswers = true;
    bool groupExists = true;
    PeerPolicy policy({[&](const std::string& g) { return g == "quillo" && groupExists ? std::optional<gid_t>(quillo) : std::nullopt; },
                       [&](uid_t u) { return groups[u]; },
                       [](uid_t u) { return "user" + std::to_string(u); },
                       [&](uid_t u) { return logindAnswers ? std::optional(sessions[u]) : std::nullopt; }});
    EXPECT_EQ(policy.refusal(0), std::nullopt);
    EXPECT_EQ(policy.refusal(1000), std::nullopt);
    EXPECT_EQ(*policy.refusal(1001), "user1001 is not in the group \"quillo\" (sudo usermod -aG quillo user1001, then log in again)");
    EXPECT_NE(policy.refusal(1002)->find("no active session at this computer"), std::string::npos); // remote only
    EXPECT_NE(policy.refusal(1003)->find("no active session"), std::string::npos);
    logindAnswers = false;
    EXPECT_NE(policy.refusal(1000)->find("logind"), std::string::npos);
    groupExists = false;
    EXPECT_NE(policy.refusal(1000)->find("groupadd"), std::string::npos);
}

TEST(HotkeyWatch, APressCompletesAChordOnlyWithExactlyItsModifiersFromAnyKeyboard)
{
    using namespace HotkeyModifier;
    const std::vector<WatchedChord> chords = {{1, KEY_R, super | alt}, {2, KEY_R, super | alt | shift}, {3, KEY_P, super | alt}};
    HotkeyWatch watch;
    auto press = [&](std::uint16_t device, std::uint16_t code) {
        const auto modifiers = watch.keyEvent(device, code, 1);
        watch.keyEvent(device, code, 0);
        return modifiers ? HotkeyWatch::matches(chords, code, *modifiers) : std::vector<std::uint32_t>{};
    };
    EXPECT_TRUE(press(1, KEY_R).empty()); // plain typing completes nothing
    watch.keyEvent(1, KEY_LEFTMETA, 1);
    watch.keyEvent(2, KEY_RIGHTALT, 1); // another keyboard holds Alt
    EXPECT_EQ(press(1, KEY_R), std::vector<std::uint32_t>{1});
    EXPECT_EQ(watch.keyEvent(1, KEY_R, 2), std::nullopt) << "a repeat is no new press";
    watch.keyEvent(1, KEY_LEFTSHIFT, 1);
    EXPECT_EQ(press(1, KEY_R), std::vector<std::uint32_t>{2});
    watch.keyEvent(1, KEY_LEFTSHIFT, 0);
    EXPECT_EQ(press(1, KEY_P), std::vector<std::uint32_t>{3});
    watch.keyEvent(2, KEY_RIGHTALT, 0);
    EXPECT_TRUE(press(1, KEY_P).empty()) << "Super alone is not Super+Alt";
    EXPECT_EQ(watch.keyEvent(1, BTN_LEFT, 1), std::nullopt) << "buttons are no keys";
    watch.reset();
    EXPECT_TRUE(press(1, KEY_P).empty());
}
