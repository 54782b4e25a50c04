// What the screen showed around a press, in macro files: it round-trips with and without
// its window, a file without it reads as before, and a hostile picture field is refused
// by its header alone with a message that names the step.
#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Codec/PngCodec.h"
#include "TestMacros.h"

#include <gtest/gtest.h>

namespace {

ScreenImage gradient(int width, int height)
{
    ScreenImage image{QRectF(10, 20, width, height), width, height, {}};
    image.pixels.resize(std::size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &image.pixels[(std::size_t(y) * width + x) * 4];
            p[0] = std::uint8_t(x * 5);
            p[1] = std::uint8_t(y * 5);
            p[2] = std::uint8_t(x + y);
            p[3] = 0;
        }
    return image;
}

Macro withPress(SightRef sight)
{
    Macro m = TestMacros::small();
    auto down = MacroAction::mouseDown(2.0, 300, 200, MouseButton::left);
    std::get<MacroAction::MouseDown>(down.payload).sight = std::move(sight);
    m.actions.push_back(down);
    m.actions.push_back(MacroAction::mouseUp(2.1, 300, 200, MouseButton::left));
    return m;
}

// A press whose "sight" is `sight` (JSON text), as a whole macro file.
QByteArray fileWithSight(const QByteArray& sight)
{
    QByteArray json = MacroJsonEncoder::encodeMacro(withPress({})).value();
    const QByteArray press = "\"type\" : \"mouseDown\"";
    const qsizetype at = json.indexOf(press);
    EXPECT_GE(at, 0);
    json.insert(at, "\"sight\" : " + sight + ", ");
    return json;
}

QByteArray pngHeader(std::uint32_t width, std::uint32_t height)
{
    QByteArray bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (std::uint32_t v : {width, height})
        for (int shift : {24, 16, 8, 0})
            bytes.append(char((v >> shift) & 0xff));
    bytes.append("\x08\x06\0\0\0", 5);
    return bytes;
}

} // namespace

TEST(ClickSightFormat, APictureAndItsWindowRoundTripAndOldFilesReadAsBefore)
{
    const ScreenImage picture = gradient(48, 40);
    const QByteArray png = PngCodec::encode(picture).value();
    const auto back = PngCodec::decode(png, picture.area, ClickSight::maxSide);
    ASSERT_TRUE(back.hasValue()) << back.error().toStdString();
    EXPECT_EQ(back.value(), picture);

    ClickSight sight{png, QRectF(276, 176, 48, 48), QStringLiteral("Text Editor"), QStringLiteral("notes.txt \u2014 Text"),
                     QRectF(100, 80, 640, 480)};
    for (ClickSight s : {sight, ClickSight{png, QRectF(276.5, 176, 48, 48), {}, {}, {}}}) {
        const Macro macro = withPress(SightRef(s));
        const QByteArray json = MacroJsonEncoder::encodeMacro(macro).value();
        EXPECT_EQ(json.contains("\"window\""), !s.windowApp.isEmpty());
        const auto read = MacroJsonDecoder::decodeMacro(json);
        ASSERT_TRUE(read.hasValue()) << read.error().description().toStdString();
        EXPECT_EQ(read.value().actions, macro.actions);
        const auto& down = std::get<MacroAction::MouseDown>(read.value().actions[4].payload);
        ASSERT_TRUE(down.sight);
        EXPECT_EQ(*down.sight.get(), s);
    }
    // Without pictures nothing in the file changes.
    const QByteArray plain = MacroJsonEncoder::encodeMacro(withPress({})).value();
    EXPECT_FALSE(plain.contains("sight"));
    EXPECT_FALSE(std::get<MacroAction::MouseDown>(MacroJsonDecoder::decodeMacro(plain).value().actions[4].payload).sight);
}

TEST(ClickSightFormat, HostilePictureFieldsAreRefusedByTheirHeaderNamingTheStep)
{
    const QByteArray area = "\"x\" : 1, \"y\" : 2, \"width\" : 48, \"height\" : 48";
    const auto refused = [&](const QByteArray& png, const QByteArray& extra = {}) {
        const auto read = MacroJsonDecoder::decodeMacro(fileWithSight("{ \"png\" : \"" + png + "\", " + area + extra + " }"));
        return read.hasValue() ? QString() : read.error().description();
    };
    EXPECT_TRUE(refused("not base64!").startsWith(QStringLiteral("action 3: "))) << refused("not base64!").toStdString();
    EXPECT_TRUE(refused("not base64!").contains(QStringLiteral("not Base64")));
    EXPECT_TRUE(refused(QByteArray("GIF89a, not a PNG").toBase64()).contains(QStringLiteral("not a PNG")));
    // A header that declares a huge picture (its data is never looked at).
    EXPECT_TRUE(refused(pngHeader(100000, 100000).toBase64()).contains(QStringLiteral("100000 x 100000 pixels")));
    EXPECT_TRUE(refused(pngHeader(513, 10).toBase64()).contains(QStringLiteral("more than 512 x 512")));
    EXPECT_TRUE(refused(QByteArray(1'400'000, 'A')).contains(QStringLiteral("larger than 1000000 bytes")));
    const QByteArray good = PngCodec::encode(gradient(8, 8)).value().toBase64();
    EXPECT_TRUE(refused(good).isEmpty());
    EXPECT_TRUE(refused(good, ", \"window\" : 3").contains(QStringLiteral("\"window\"")));
    const auto negative = MacroJsonDecoder::decodeMacro(
        fileWithSight("{ \"png\" : \"" + good + "\", \"x\" : 1, \"y\" : 2, \"width\" : -4, \"height\" : 48 }"));
    EXPECT_FALSE(negative.hasValue());

    // Declared small but not a whole PNG: refused when it is read at replay, not loaded.
    const auto truncated = PngCodec::decode(pngHeader(8, 8), QRectF(0, 0, 8, 8), ClickSight::maxSide);
    ASSERT_FALSE(truncated.hasValue());
    EXPECT_TRUE(truncated.error().startsWith(QStringLiteral("the picture cannot be read")));
}
