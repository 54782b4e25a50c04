// Finding what was under the pointer on the screen of a replay: in place, moved, absent,
// in another colour, on an output of another scale with other antialiasing, and plain.
#include "Services/Screen/ImageMatcher.h"
#include "TestScreens.h"

#include <gtest/gtest.h>

namespace {

// A button: a frame and a cross in `ink` on a light face.
ScreenImage button(Colour ink)
{
    ScreenImage b = blank(QRectF(0, 0, 48, 32), 48, 32, {235, 235, 235});
    for (int x = 0; x < 48; ++x)
        for (int y : {0, 1, 30, 31})
            set(b, x, y, ink);
    for (int y = 0; y < 32; ++y)
        for (int x : {0, 1, 46, 47})
            set(b, x, y, ink);
    for (int i = 6; i < 26; ++i)
        for (int w = 0; w < 3; ++w) {
            set(b, 12 + i + w, i, ink);
            set(b, 36 - i + w, i, ink);
        }
    return b;
}

// The same screen drawn on a scale-2 output: each pixel four, edges softened as a
// renderer's antialiasing softens them.
ScreenImage atScaleTwo(const ScreenImage& image)
{
    ScreenImage doubled = blank(image.area, image.width * 2, image.height * 2);
    for (int y = 0; y < doubled.height; ++y)
        for (int x = 0; x < doubled.width; ++x)
            set(doubled, x, y, at(image, x / 2, y / 2));
    ScreenImage soft = doubled;
    for (int y = 1; y + 1 < doubled.height; ++y)
        for (int x = 1; x + 1 < doubled.width; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        sum += at(doubled, x + dx, y + dy)[std::size_t(c)];
                soft.pixels[(std::size_t(y) * soft.width + x) * 4 + std::size_t(c)] = std::uint8_t(sum / 9);
            }
    return soft;
}

} // namespace

TEST(ImageMatcher, FindsThePictureWhereItIsAndWhereItMovedAndNotWhereItIsNot)
{
    const ScreenImage recorded = texture(1);
    const ScreenImage picture = crop(recorded, 200, 120, 48, 48);

    const auto same = ImageMatcher::find(picture, recorded);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->area, QRectF(200, 120, 48, 48));
    EXPECT_GT(same->score, 0.99);

    // Another desktop behind, the window 150 px further right and 80 up, and the screen
    // read as a region that does not start at the origin.
    ScreenImage moved = texture(2);
    paste(moved, picture, 350, 40);
    moved.area.moveTo(1000, 500);
    const auto there = ImageMatcher::find(picture, moved);
    ASSERT_TRUE(there);
    EXPECT_EQ(there->area, QRectF(1350, 540, 48, 48));

    const ScreenImage elsewhere = texture(3);
    EXPECT_FALSE(ImageMatcher::find(picture, elsewhere));
    EXPECT_LT(ImageMatcher::bestScore(picture, elsewhere), ImageMatcher::defaultThreshold);
}

TEST(ImageMatcher, AButtonOfAnotherColourIsNotTakenForIt)
{
    ScreenImage screen = blank(QRectF(0, 0, 300, 200), 300, 200, {250, 250, 250});
    const ScreenImage green = button({40, 170, 40}), red = button({40, 40, 200});
    paste(screen, red, 20, 20);
    paste(screen, green, 200, 120);
    const auto found = ImageMatcher::find(green, screen);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->area.topLeft(), QPointF(200, 120));

    ScreenImage onlyRed = blank(QRectF(0, 0, 300, 200), 300, 200, {250, 250, 250});
    paste(onlyRed, red, 200, 120);
    EXPECT_FALSE(ImageMatcher::find(green, onlyRed)) << ImageMatcher::bestScore(green, onlyRed);
}

TEST(ImageMatcher, ARecordingAtScaleOneFindsItsPicturesOnAScaleTwoOutput)
{
    const ScreenImage recorded = texture(4);
    const ScreenImage picture = crop(recorded, 120, 90, 48, 48);
    ScreenImage moved = texture(5);
    paste(moved, picture, 260, 200);
    const ScreenImage replayed = atScaleTwo(moved);
    ASSERT_EQ(replayed.scale(), 2.0);
    const auto found = ImageMatcher::find(picture, replayed);
    ASSERT_TRUE(found);
    EXPECT_NEAR(found->area.x(), 260, 1);
    EXPECT_NEAR(found->area.y(), 200, 1);
    EXPECT_NEAR(found->area.width(), 48, 0.5);
    // And the other way round: a picture from the scale-2 output on a scale-1 screen.
    const ScreenImage sharp = crop(replayed, 520, 400, 96, 96);
    ScreenImage fine = sharp;
    fine.area = QRectF(260, 200, 48, 48);
    const auto back = ImageMatcher::find(fine, moved);
    ASSERT_TRUE(back);
    EXPECT_NEAR(back->area.x(), 260, 1);
}

TEST(ImageMatcher, PlainAreasAreFoundByTheirColourAndPicturesThatCannotFitNowhere)
{
    ScreenImage screen = texture(6);
    paste(screen, blank(QRectF(0, 0, 60, 60), 60, 60, {10, 120, 240}), 300, 200);
    const ScreenImage plain = blank(QRectF(0, 0, 48, 48), 48, 48, {10, 120, 240});
    const auto found = ImageMatcher::find(plain, screen);
    ASSERT_TRUE(found);
    EXPECT_TRUE(QRectF(300, 200, 60, 60).contains(found->area));
    EXPECT_FALSE(ImageMatcher::find(blank(QRectF(0, 0, 48, 48), 48, 48, {240, 120, 10}), screen));

    EXPECT_FALSE(ImageMatcher::find(texture(7, 500, 400), screen)); // larger than the screen
    EXPECT_FALSE(ImageMatcher::find(ScreenImage{}, screen));
    EXPECT_FALSE(ImageMatcher::find(plain, ScreenImage{}));
}
