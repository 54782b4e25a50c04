// Reading the X server's screen: the pixels a test window drew come back where it drew
// them, in blue-green-red order, the same through shared memory and without it, and an
// area that reaches past the screen's edge is black there.
#include <gtest/gtest.h>

#include "Platform/X11/X11ScreenCapture.h"
#include "X11TestDesktop.h"

namespace {

std::array<int, 3> pixelAt(const ScreenImage& image, double x, double y)
{
    const int px = int(x - image.area.x()), py = int(y - image.area.y());
    const std::uint8_t* p = &image.pixels[(std::size_t(py) * image.width + px) * 4];
    return {p[2], p[1], p[0]}; // red, green, blue
}

} // namespace

TEST(X11ScreenCapture, ReadsWhatAWindowDrewWhereItDrewIt)
{
    X11TestDesktop desktop;
    ASSERT_TRUE(desktop.display());
    Display* d = desktop.display();
    const Window w = desktop.createWindow("quillo-capture-test");
    GC gc = XCreateGC(d, w, 0, nullptr);
    auto draw = [&] {
        XSetForeground(d, gc, 0xff0000);
        XFillRectangle(d, w, gc, 0, 0, 300, 400);
        XSetForeground(d, gc, 0x0000ff);
        XFillRectangle(d, w, gc, 300, 0, 300, 400);
        XSetForeground(d, gc, 0x00ff00);
        XFillRectangle(d, w, gc, 100, 100, 50, 50);
        XSync(d, False);
    };
    int left = 0, top = 0;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &left, &top, &child);

    X11ScreenCapture capture;
    EXPECT_EQ(capture.mechanism(), QStringLiteral("the X server, through shared memory")); // a local Xvfb has MIT-SHM
    const QRectF area(left + 80, top + 80, 300, 120);
    ASSERT_TRUE(X11TestDesktop::waitFor([&] {
        draw();
        auto image = capture.capture(area);
        return image.hasValue() && pixelAt(image.value(), left + 120, top + 120) == std::array<int, 3>{0, 255, 0};
    })) << "the green square never showed";
    auto shared = capture.capture(area);
    ASSERT_TRUE(shared.hasValue()) << shared.error().description().toStdString();
    EXPECT_EQ(shared.value().area, area);
    EXPECT_EQ(shared.value().width, 300);
    EXPECT_EQ(shared.value().height, 120);
    EXPECT_EQ(shared.value().scale(), 1.0);
    EXPECT_EQ(pixelAt(shared.value(), left + 90, top + 90), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(pixelAt(shared.value(), left + 149, top + 149), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(pixelAt(shared.value(), left + 150, top + 150), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(pixelAt(shared.value(), left + 350, top + 100), (std::array<int, 3>{0, 0, 255}));

    capture.setSharedMemory(false);
    EXPECT_EQ(capture.mechanism(), QStringLiteral("the X server"));
    auto plain = capture.capture(area);
    ASSERT_TRUE(plain.hasValue());
    EXPECT_EQ(plain.value().pixels, shared.value().pixels);
    capture.setSharedMemory(true);

    // Past the top left corner: black where there is no screen, the screen where there is.
    auto corner = capture.capture(QRectF(-20, -20, 40, 40));
    ASSERT_TRUE(corner.hasValue());
    EXPECT_EQ(pixelAt(corner.value(), -10, -10), (std::array<int, 3>{0, 0, 0}));
    auto whole = capture.captureScreen();
    ASSERT_TRUE(whole.hasValue());
    EXPECT_EQ(whole.value().width, DisplayWidth(d, DefaultScreen(d)));
    EXPECT_EQ(pixelAt(whole.value(), left + 120, top + 120), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(pixelAt(corner.value(), 5, 5), pixelAt(whole.value(), 5, 5));

    EXPECT_FALSE(capture.capture(QRectF(0, 0, 0, 10)).hasValue());
    XFreeGC(d, gc);
}

TEST(X11ScreenCapture, WithoutADisplayItSaysSo)
{
    X11ScreenCapture capture(":4095");
    auto image = capture.capture(QRectF(0, 0, 10, 10));
    ASSERT_FALSE(image.hasValue());
    EXPECT_EQ(image.error().kind, CaptureError::Kind::unavailable);
    EXPECT_EQ(image.error().description(), QStringLiteral("the screen cannot be read here: the X display cannot be opened"));
}
