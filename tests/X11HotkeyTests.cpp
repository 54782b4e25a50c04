#include "Platform/Fake/FakeClock.h"
#include "Platform/X11/X11HotkeyRegistrar.h"
#include "Services/HotkeyService.h"
#include "Services/LogService.h"

#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include "X11TestDesktop.h"

namespace {
constexpr unsigned kSuperL = 133, kAltL = 64, kR = 27, kP = 33, kNumLock = 77;
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
    service.setOnHotKey([&](quint32 id) { fired.push_back(id); });

    auto chord = [&](std::initializer_list<unsigned> keys) {
        for (unsigned k : keys)
            desktop.key(k, true);
        for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
            desktop.key(*it, false);
        desktop.sync();
        clock.advance(1);
    };
    chord({kSuperL, kR});
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return fired.size() == 1; }));
    chord({kSuperL, kAltL, kP});
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return fired.size() == 2; }));
    desktop.key(kNumLock, true);
    desktop.key(kNumLock, false);
    chord({kSuperL, kP});
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return fired.size() == 3; }));
    desktop.key(kNumLock, true);
    desktop.key(kNumLock, false);
    desktop.sync();
    chord({kR}); // R alone is not a hotkey
    X11TestDesktop::waitFor([] { return false; }, 100);
    EXPECT_EQ(fired, (std::vector<quint32>{1, 2, 3}));
}

TEST(X11Hotkeys, ACombinationAnotherClientHoldsIsRefusedAndLogged)
{
    X11HotkeyRegistrar first;
    ASSERT_TRUE(first.isConnected());
    ASSERT_EQ(first.registerHotkey(15, 0x100, 1).status, 0);

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
              QStringLiteral("[HotkeyService] Failed to register hotkey id=1, status=10")); // BadAccess
}
