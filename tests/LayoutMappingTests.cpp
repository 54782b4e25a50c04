// Positions recorded on one screen layout, placed on another.
#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Platform/RawInputEvent.h"
#include "TestMacros.h"
#include "ViewModels/LayoutMapping.h"

#include <gtest/gtest.h>

namespace {

ScreenOutput output(const char* name, double x, double y, double w, double h, double scale = 1)
{
    return ScreenOutput{QString::fromLatin1(name), x, y, w, h, scale};
}

} // namespace

TEST(LayoutMapping, PointsKeepTheirPlaceOnTheMonitorOfTheSameNameOrTheSamePlace)
{
    // Recorded: a laptop panel with a monitor to its left, higher up (negative offsets).
    const std::vector<ScreenOutput> recorded = {output("eDP-1", 0, 0, 1920, 1200, 1.25),
                                                output("HDMI-A-1", -2560, -300, 2560, 1440)};
    // Played: the laptop alone, at another resolution; then a different monitor on the right.
    const std::vector<ScreenOutput> laptop = {output("eDP-1", 0, 0, 1280, 800)};
    EXPECT_TRUE(LayoutMapping::differs(recorded, laptop));
    EXPECT_EQ(LayoutMapping::map(QPointF(960, 600), recorded, laptop), QPointF(640, 400));
    EXPECT_EQ(LayoutMapping::map(QPointF(1920, 1200), recorded, laptop), QPointF(1280, 800));
    // A point on the monitor that is gone lands at the same place of the first one in the layout.
    EXPECT_EQ(LayoutMapping::map(QPointF(-1280, 420), recorded, laptop), QPointF(640, 400));

    const std::vector<ScreenOutput> renamed = {output("DP-2", 0, 0, 3840, 2160, 2), output("eDP-1", 3840, 0, 1920, 1200)};
    EXPECT_EQ(LayoutMapping::map(QPointF(480, 300), recorded, renamed), QPointF(3840 + 480, 300)); // by name
    EXPECT_EQ(LayoutMapping::map(QPointF(-2560, -300), recorded, renamed), QPointF(0, 0));          // by place
    // Off every monitor: the nearest one, clamped to its edge.
    EXPECT_EQ(LayoutMapping::map(QPointF(2500, 100), recorded, laptop), QPointF(1280, 800.0 / 1200 * 100));

    // Only a change of scale, or an unknown layout, is no difference.
    std::vector<ScreenOutput> rescaled = recorded;
    rescaled[0].scale = 2;
    EXPECT_FALSE(LayoutMapping::differs(recorded, rescaled));
    EXPECT_FALSE(LayoutMapping::differs({}, laptop));
    EXPECT_EQ(LayoutMapping::map(QPointF(5, 6), {}, laptop), QPointF(5, 6));

    Macro macro = TestMacros::small();
    macro.metadata.outputs = recorded;
    macro.actions = {MacroAction::mouseDown(0.1, 960, 600, MouseButton::left, ModifierFlags::shift),
                     MacroAction::scroll(0.2, 1920, 0, 0, 1), MacroAction::keyDown(0.3, 0, 0)};
    const Macro onLaptop = LayoutMapping::mapped(macro, laptop);
    EXPECT_EQ(onLaptop.actions[0], MacroAction::mouseDown(0.1, 640, 400, MouseButton::left, ModifierFlags::shift));
    EXPECT_EQ(onLaptop.actions[1], MacroAction::scroll(0.2, 1280, 0, 0, 1));
    EXPECT_EQ(onLaptop.actions[2], macro.actions[2]);
    EXPECT_EQ(LayoutMapping::describe(laptop), QStringLiteral("eDP-1 1280\u00d7800 at 0,0"));
}

TEST(LayoutMapping, TheLayoutIsKeptInTheFileOnlyWhenKnown)
{
    Macro macro = TestMacros::small();
    const QByteArray without = MacroJsonEncoder::encodeMacro(macro, JsonWriter::Layout::compact).value();
    EXPECT_FALSE(without.contains("outputs"));
    macro.metadata.outputs = {output("DP-1", -1920, 0, 1920, 1080, 1.5), output("DP-2", 0, 0, 2560, 1440)};
    const QByteArray with = MacroJsonEncoder::encodeMacro(macro, JsonWriter::Layout::compact).value();
    EXPECT_TRUE(with.contains(R"("name":"Small","outputs":[{"height":1080,"name":"DP-1","scale":1.5,"width":1920,"x":-1920,"y":0},)"))
        << with.toStdString();
    const auto back = MacroJsonDecoder::decodeMacro(with);
    ASSERT_TRUE(back) << back.error().description().toStdString();
    EXPECT_EQ(back.value(), macro);
    QByteArray broken = with;
    broken.replace("\"scale\":1.5", "\"scale\":\"big\"");
    EXPECT_FALSE(MacroJsonDecoder::decodeMacro(broken));
}
