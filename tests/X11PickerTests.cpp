// "Pick on Screen" on a real X server: the pointer is grabbed, so the click that gives
// the point reaches no window, and Escape gives up.
#include "TestWait.h"
#include "Views/ScreenPointPicker.h"

#include <QWidget>
#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include "X11TestDesktop.h"

TEST(X11Picker, TheClickGivesItsPointAndReachesNoWindowAndEscapeGivesUp)
{
    X11TestDesktop desktop;
    ASSERT_NE(desktop.display(), nullptr) << "this test needs an X display (scripts/test.sh starts one)";
    // Another application's window under the point, which must not see the click.
    const Window other = desktop.createWindow("QuilloPickerTarget");
    desktop.watch(other, ButtonPressMask | ButtonReleaseMask);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Quillo"));
    window.resize(300, 200);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }, 3000));

    auto pick = [&](const std::function<void()>& act) {
        ScreenPointPicker picker({&window}, QStringLiteral("Click the point on the screen; Esc cancels."));
        std::optional<std::optional<QPointF>> result;
        QObject::connect(&picker, &ScreenPointPicker::picked, [&](std::optional<QPointF> p) { result = p; });
        picker.start();
        EXPECT_FALSE(window.isVisible()); // stepped aside
        EXPECT_TRUE(waitUntil([&] { return picker.isReady(); }, 2000)) << "the pointer was not grabbed";
        // Held for real: another client cannot take the pointer now.
        const int probe = XGrabPointer(desktop.display(), DefaultRootWindow(desktop.display()), False,
                                       ButtonPressMask, GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime);
        if (probe == GrabSuccess)
            XUngrabPointer(desktop.display(), CurrentTime);
        EXPECT_EQ(probe, AlreadyGrabbed);
        act();
        desktop.sync();
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 3000));
        EXPECT_TRUE(window.isVisible()); // back
        return result.value_or(std::nullopt);
    };

    const auto point = pick([&] {
        desktop.moveTo(321, 234);
        desktop.click(1);
    });
    ASSERT_TRUE(point.has_value());
    EXPECT_EQ(point->toPoint(), QPoint(321, 234));
    EXPECT_FALSE(desktop.nextEvent(other, ButtonPress, 300)) << "the click reached the window under it";

    const auto cancelled = pick([&] { desktop.tap(9); }); // Escape
    EXPECT_FALSE(cancelled.has_value());
}
