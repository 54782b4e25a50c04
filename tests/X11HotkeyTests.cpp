#include "Platform/Fake/FakeClock.h"
#include "Platform/X11/X11HotkeyRegistrar.h"
#include "Services/HotkeyService.h"
#include "Services/LogService.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include "X11TestDesktop.h"

namespace {
constexpr unsigned kSuperL = 133, kAltL = 64, kShiftL = 50, kR = 27, kP = 33, kNumLock = 77;
} // namespace

TEST(X11Hotkeys, PressesReachTheServiceWhateverTheNumLockState)
{
    X11TestDesktop desktop;
    ASSERT_NE(desktop.display(), nullptr);
    FakeClock clock;
    X11HotkeyRegistrar registrar;
    ASSERT_TRUE(registrar.isConnected());
    HotkeyService service(registrar, clock);
    for (const auto& c : HotkeyService::defaults())
        service.registerHotkey(c);
    ASSERT_TRUE(service.isRegistered(1) && service.isRegistered(2) && service.isRegistered(3));
    std::vector<quint32> fired;

    auto chord = [&](std::initializer_list<unsigned> keys) {
        for (unsigned k : keys)
            desktop.key(k, true);
        for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
            desktop.key(*it, false);
        desktop.sync();
        clock.advance(1);
    };
    QElapsedTimer sincePress;
    qint64 latency = -1;
    service.setOnHotKey([&](quint32 id) {
        fired.push_back(id);
        if (latency < 0)
            latency = sincePress.elapsed();
    });
    sincePress.start();
    chord({kSuperL, kAltL, kR});
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return fired.size() == 1; }));
    std::printf("[ X11 ] chord to Quillo: %lld ms (from the last XTEST key)\n", static_cast<long long>(latency));
    chord({kSuperL, kAltL, kShiftL, kR});
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return fired.size() == 2; }));
    desktop.key(kNumLock, true);
    desktop.key(kNumLock, false);
    chord({kSuperL, kAltL, kP});
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return fired.size() == 3; }));
    desktop.key(kNumLock, true);
    desktop.key(kNumLock, false);
    desktop.sync();
    chord({kR}); // R alone is not a hotkey
    X11TestDesktop::waitFor([] { return false; }, 100);
    EXPECT_EQ(fired, (std::vector<quint32>{1, 2, 3}));
}

TEST(X11Hotkeys, AChordAnotherClientHoldsIsRefusedWithTheReasonAndSharedGrabsOutliveEachOther)
{
    X11HotkeyRegistrar first;
    ASSERT_TRUE(first.isConnected());
    ASSERT_TRUE(first.registerHotkey(1, {HotkeyService::defaults()[0].chord()}).ok());

    LogService::shared()->setEntries({});
    FakeClock clock;
    X11HotkeyRegistrar second;
    HotkeyService service(second, clock);
    for (const auto& c : HotkeyService::defaults())
        service.registerHotkey(c);
    EXPECT_FALSE(service.isRegistered(1));
    EXPECT_TRUE(service.isRegistered(2));
    EXPECT_TRUE(service.isRegistered(3));
    QCoreApplication::sendPostedEvents();
    ASSERT_FALSE(LogService::shared()->entries().isEmpty());
    EXPECT_EQ(LogService::shared()->entries().back().message,
              QStringLiteral("[HotkeyService] Failed to register hotkey id=1 (Alt+Super+R), status=10: another program "
                             "already uses Alt+Super+R")); // BadAccess

    // Two ids of one connection on the same chord: letting go of one keeps the other's.
    X11TestDesktop desktop;
    const HotkeyChord play = HotkeyService::defaults()[2].chord();
    ASSERT_TRUE(second.registerHotkey(7, {play}).ok());
    second.unregisterHotkey(7);
    std::vector<quint32> fired;
    QObject::connect(&second, &HotkeyRegistrar::hotkeyPressed, [&](quint32 id) { fired.push_back(id); });
    for (unsigned k : {kSuperL, kAltL, kP})
        desktop.key(k, true);
    for (unsigned k : {kP, kAltL, kSuperL})
        desktop.key(k, false);
    desktop.sync();
    EXPECT_TRUE(X11TestDesktop::waitFor([&] { return fired == std::vector<quint32>{3}; }));
}
