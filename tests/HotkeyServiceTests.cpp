#include "Platform/Fake/FakeClock.h"
#include "Platform/Fake/FakeHotkeyRegistrar.h"
#include "Services/HotkeyService.h"
#include "Services/LogService.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

TEST(HotkeyService, DebouncesEachIdOnItsOwnAndReportsLater)
{
    FakeClock clock;
    FakeHotkeyRegistrar registrar;
    HotkeyService service(registrar, clock);
    for (const auto& c : HotkeyService::defaults())
        service.registerHotkey(c);
    std::vector<quint32> fired;
    service.setOnHotKey([&](quint32 id) { fired.push_back(id); });

    registrar.press(35, 0x100);
    EXPECT_TRUE(fired.empty()); // delivered on a later turn of the main thread
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(fired, std::vector<quint32>{3});
    clock.advance(0.2);
    registrar.press(35, 0x100); // too soon
    clock.advance(0.1);
    registrar.press(15, 0x100); // another id is not held back
    clock.advance(0.15);
    registrar.press(35, 0x100); // 0.45 s after the accepted one
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(fired, (std::vector<quint32>{3, 1, 3}));
    // A clock that jumps back (it never does: it is monotonic) must not block presses forever;
    // the service only ever compares readings of the clock it was given.
    registrar.press(35, 0x900);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(fired.back(), 2u);
}

TEST(HotkeyService, ARefusedCombinationIsLoggedAndTheOthersStillWork)
{
    LogService::shared()->setEntries({});
    FakeClock clock;
    FakeHotkeyRegistrar registrar;
    registrar.refuse(2);
    HotkeyService service(registrar, clock);
    for (const auto& c : HotkeyService::defaults())
        service.registerHotkey(c);
    EXPECT_TRUE(service.isRegistered(1));
    EXPECT_FALSE(service.isRegistered(2));
    EXPECT_TRUE(service.isRegistered(3));
    QCoreApplication::sendPostedEvents();
    ASSERT_FALSE(LogService::shared()->entries().isEmpty());
    EXPECT_EQ(LogService::shared()->entries().back().message,
              QStringLiteral("[HotkeyService] Failed to register hotkey id=2, status=-9878"));
    EXPECT_EQ(LogService::shared()->entries().back().level, LogEntry::Level::error);

    // Registering an id again replaces its combination.
    service.registerHotkey({12, 0x100, 1});
    const auto active = registrar.active();
    EXPECT_EQ(std::count_if(active.begin(), active.end(), [](const auto& c) { return c.id == 1; }), 1);
    EXPECT_TRUE(std::any_of(active.begin(), active.end(), [](const auto& c) { return c.id == 1 && c.keyCode == 12; }));
}
