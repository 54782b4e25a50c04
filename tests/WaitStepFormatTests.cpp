// Wait steps in macro files: every kind round-trips with only its own keys, a kind of wait
// from a newer version is kept byte for byte, and what cannot run is refused with the
// macro and the step named.
#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Codec/PngCodec.h"
#include "TestMacros.h"

#include <gtest/gtest.h>

namespace {

ScreenWait kindOf(ScreenWait::Kind kind)
{
    ScreenWait w;
    w.kind = kind;
    w.timeout = 7.5;
    return w;
}

std::vector<ScreenWait> everyKind()
{
    ScreenImage picture{QRectF(40, 50, 4, 3), 4, 3, std::vector<std::uint8_t>(4 * 3 * 4, 90)};
    ScreenWait image = kindOf(ScreenWait::Kind::image);
    image.png = PngCodec::encode(picture).value();
    image.area = picture.area;
    image.threshold = 0.92;
    image.app = QStringLiteral("org.gnome.TextEditor");
    image.appName = QStringLiteral("Text Editor");
    ScreenWait color = kindOf(ScreenWait::Kind::color);
    color.area = QRectF(12, 34, 1, 1);
    color.color = 0x1a2b3c;
    color.tolerance = 3;
    color.stopOnTimeout = false;
    ScreenWait window = kindOf(ScreenWait::Kind::window);
    window.title = QStringLiteral("^Report \\d+ \u2014 \u201cdraft\u201d$");
    window.titleMatch = ScreenWait::TitleMatch::pattern;
    window.event = ScreenWait::WindowEvent::close;
    ScreenWait frontApp = kindOf(ScreenWait::Kind::window);
    frontApp.app = QStringLiteral("firefox-esr");
    frontApp.event = ScreenWait::WindowEvent::front;
    ScreenWait settle = kindOf(ScreenWait::Kind::settle);
    settle.quietMs = 1200;
    ScreenWait settleArea = settle;
    settleArea.area = QRectF(0, 0, 640, 480);
    return {image, color, window, frontApp, settle, settleArea};
}

// A macro file whose last step is `step` (JSON text).
QByteArray fileWithStep(const QByteArray& step)
{
    Macro m = TestMacros::small();
    QByteArray json = MacroJsonEncoder::encodeMacro(m, MacroJsonEncoder::Layout::compact).value();
    const qsizetype at = json.indexOf("\"actions\":[") + qsizetype(strlen("\"actions\":["));
    EXPECT_GT(at, 10);
    json.insert(at, step + ",");
    return json;
}

} // namespace

TEST(WaitStepFormat, EveryKindRoundTripsWithOnlyItsOwnKeys)
{
    Macro m = TestMacros::small();
    for (const ScreenWait& w : everyKind())
        m.actions.push_back(MacroAction::wait(m.actions.back().timestamp + 0.5, w));
    const QByteArray json = MacroJsonEncoder::encodeMacro(m).value();
    const auto read = MacroJsonDecoder::decodeMacro(json);
    ASSERT_TRUE(read.hasValue()) << read.error().detail.toStdString();
    EXPECT_EQ(read.value(), m);
    EXPECT_EQ(MacroJsonEncoder::encodeMacro(read.value()).value(), json);
    // A colour step says nothing of pictures or windows; a window step nothing of areas.
    const auto compact = MacroJsonEncoder::encodeMacro(m, MacroJsonEncoder::Layout::compact).value();
    EXPECT_TRUE(compact.contains(R"({"color":"#1a2b3c","for":"color","onTimeout":"continue","point":{"x":12,"y":34},"timeout":7.5,)"))
        << compact.toStdString();
    EXPECT_TRUE(compact.contains(R"({"app":"firefox-esr","event":"front","for":"window","onTimeout":"stop","timeout":7.5,)"));
    EXPECT_TRUE(compact.contains(R"({"for":"screenSettles","onTimeout":"stop","quietMs":1200,"timeout":7.5,)"));
}

TEST(WaitStepFormat, AKindOfWaitFromANewerVersionIsKeptAsItWasRead)
{
    const QByteArray step = R"({"type":"wait","for":"sound","timestamp":0.5,"timeout":3,"volume":{"db":-20}})";
    const auto read = MacroJsonDecoder::decodeMacro(fileWithStep(step));
    ASSERT_TRUE(read.hasValue()) << read.error().detail.toStdString();
    const auto* unknown = std::get_if<MacroAction::Unknown>(&read.value().actions.front().payload);
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->typeName(), QStringLiteral("wait"));
    const auto again = MacroJsonEncoder::encodeMacro(read.value(), MacroJsonEncoder::Layout::compact).value();
    EXPECT_TRUE(again.contains(step)) << again.toStdString();
}

TEST(WaitStepFormat, WhatCannotRunIsRefusedWithTheStepNamed)
{
    const QByteArray png = PngCodec::encode(ScreenImage{QRectF(0, 0, 2, 2), 2, 2, std::vector<std::uint8_t>(16, 0)})
                               .value()
                               .toBase64();
    const std::pair<QByteArray, const char*> cases[] = {
        {R"({"type":"wait","for":"window","timestamp":0,"timeout":0,"event":"appear","app":"a"})",
         "action 1: \"timeout\" 0 is not above 0 and at most 86400 seconds"},
        {R"({"type":"wait","for":"window","timestamp":0,"timeout":1,"event":"appear"})",
         "action 1: a wait for a window names neither an application nor a title"},
        {R"({"type":"wait","for":"window","timestamp":0,"timeout":1,"event":"opens","app":"a"})",
         "action 1: \"event\" \"opens\" is not one of \"appear\", \"front\", \"close\""},
        {R"({"type":"wait","for":"window","timestamp":0,"timeout":1,"event":"front","title":"(","titleMatch":"pattern"})",
         "action 1: \"title\" is not a valid pattern"},
        {R"({"type":"wait","for":"color","timestamp":0,"timeout":1,"color":"red","point":{"x":1,"y":2},"tolerance":1})",
         "action 1: \"color\" \"red\" is not of the form #rrggbb"},
        {R"({"type":"wait","for":"color","timestamp":0,"timeout":1,"color":"#000000","point":{"x":1,"y":2},"tolerance":300})",
         "action 1: \"tolerance\" 300 is out of range 0\u20262" "55"},
        {R"({"type":"wait","for":"image","timestamp":0,"timeout":1,"png":"%%%","area":{"x":0,"y":0,"width":2,"height":2}})",
         "action 1: the picture of the step is not Base64"},
        {R"({"type":"wait","for":"image","timestamp":0,"timeout":1,"png":")" + png +
             R"(","area":{"x":0,"y":0,"width":2,"height":2},"threshold":1.5})",
         "action 1: \"threshold\" 1.5 is not above 0 and at most 1"},
        {R"({"type":"wait","for":"screenSettles","timestamp":0,"timeout":1,"quietMs":0})",
         "action 1: \"quietMs\" 0 is out of range 1\u2026600000"},
    };
    for (const auto& [step, message] : cases) {
        const auto read = MacroJsonDecoder::decodeMacro(fileWithStep(step));
        ASSERT_FALSE(read.hasValue()) << step.toStdString();
        EXPECT_EQ(read.error().detail.toStdString(), message);
    }
}

TEST(WaitStepFormat, ATitleFromAFileIsNamedOnOneLine)
{
    ScreenWait w;
    w.kind = ScreenWait::Kind::window;
    w.appName = QStringLiteral("Edi\ntor");
    w.title = QStringLiteral("Report\r\n\x1b[31mred");
    EXPECT_EQ(MacroAction::wait(0, w).displayName(),
              QStringLiteral("Wait for Edi tor \u201cReport   [31mred\u201d to appear"));
}
