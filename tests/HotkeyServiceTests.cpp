#include "AppModelHarness.h"
#include "Services/HotkeyService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

constexpr quint32 kR = 15, kP = 35, kT = 17;
constexpr quint32 kSuper = HotkeyChord::command, kAlt = HotkeyChord::option, kShift = HotkeyChord::shift,
                  kCtrl = HotkeyChord::control;

std::vector<quint32> pressAndCollect(FakeHotkeyRegistrar& registrar, FakeClock& clock, std::vector<quint32>& fired,
                                     quint32 key, quint32 mods)
{
    registrar.press(key, mods);
    clock.advance(1); // past the debounce
    QCoreApplication::sendPostedEvents();
    return fired;
}

} // namespace

TEST(HotkeyService, DebouncesEachIdOnItsOwnAndReportsLater)
{
    FakeClock clock;
    FakeHotkeyRegistrar registrar;
    HotkeyService service(registrar, clock);
    for (const auto& c : HotkeyService::defaults())
        service.registerHotkey(c);
    std::vector<quint32> fired;
    service.setOnHotKey([&](quint32 id) { fired.push_back(id); });

    registrar.press(kP, kSuper | kAlt);
    EXPECT_TRUE(fired.empty()); // delivered on a later turn of the main thread
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(fired, std::vector<quint32>{3});
    clock.advance(0.2);
    registrar.press(kP, kSuper | kAlt); // too soon
    clock.advance(0.1);
    registrar.press(kR, kSuper | kAlt); // another id is not held back
    clock.advance(0.15);
    registrar.press(kP, kSuper | kAlt); // 0.45 s after the accepted one
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(fired, (std::vector<quint32>{3, 1, 3}));
    registrar.press(kR, kSuper | kAlt | kShift);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(fired.back(), 2u);
}

TEST(HotkeyService, ARefusedChordIsLoggedWithItsReasonAndTheIdKeepsTheChordItHad)
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
              QStringLiteral("[HotkeyService] Failed to register hotkey id=2 (Alt+Shift+Super+R), status=-9878: refused by the test"));
    EXPECT_EQ(LogService::shared()->entries().back().level, LogEntry::Level::error);
    EXPECT_EQ(service.problem(2), QStringLiteral("refused by the test"));

    // Another chord for id 3 that another program holds: Super+Alt+P stays in force.
    registrar.refuseChord({kT, kCtrl | kAlt}, QStringLiteral("another program already uses Ctrl+Alt+T"));
    EXPECT_FALSE(service.registerHotkey({kT, kCtrl | kAlt, 3}));
    EXPECT_EQ(service.chord(3), (HotkeyChord{kP, kSuper | kAlt}));
    EXPECT_EQ(service.problem(3), QStringLiteral("another program already uses Ctrl+Alt+T"));
    std::vector<quint32> fired;
    service.setOnHotKey([&](quint32 id) { fired.push_back(id); });
    EXPECT_EQ(pressAndCollect(registrar, clock, fired, kP, kSuper | kAlt), std::vector<quint32>{3});
    // A chord that is free replaces it, and the problem is gone.
    EXPECT_TRUE(service.registerHotkey({kT, kSuper | kAlt, 3}));
    EXPECT_EQ(service.problem(3), QString());
    EXPECT_EQ(pressAndCollect(registrar, clock, fired, kP, kSuper | kAlt), std::vector<quint32>{3});
    EXPECT_EQ(pressAndCollect(registrar, clock, fired, kT, kSuper | kAlt), (std::vector<quint32>{3, 3}));
}

TEST(HotkeyService, ALenientChordTakesEveryOtherModifierButLeavesOtherIdsTheirChords)
{
    FakeClock clock;
    FakeHotkeyRegistrar registrar;
    HotkeyService service(registrar, clock);
    for (const auto& c : HotkeyService::defaults())
        service.registerHotkey(c);
    std::vector<quint32> fired;
    service.setOnHotKey([&](quint32 id) { fired.push_back(id); });
    // Strict: Ctrl+Super+Alt+P is not the play chord.
    EXPECT_TRUE(pressAndCollect(registrar, clock, fired, kP, kSuper | kAlt | kCtrl).empty());
    service.setLenient(1, true);
    service.setLenient(3, true);
    EXPECT_EQ(pressAndCollect(registrar, clock, fired, kP, kSuper | kAlt | kCtrl), std::vector<quint32>{3});
    EXPECT_EQ(pressAndCollect(registrar, clock, fired, kP, kSuper | kAlt | kCtrl | HotkeyChord::altGr),
              (std::vector<quint32>{3, 3}));
    // Super+Alt+Shift+R is id 2's own chord: the lenient id 1 leaves it to it.
    fired.clear();
    EXPECT_EQ(pressAndCollect(registrar, clock, fired, kR, kSuper | kAlt | kShift), std::vector<quint32>{2});
    // Back to strict: only the chords themselves.
    service.setLenient(3, false);
    fired.clear();
    EXPECT_TRUE(pressAndCollect(registrar, clock, fired, kP, kSuper | kAlt | kCtrl).empty());
    // Suspended (the settings listen for a chord): nothing is held, and all come back.
    service.setSuspended(true);
    EXPECT_TRUE(registrar.active().isEmpty());
    EXPECT_TRUE(pressAndCollect(registrar, clock, fired, kP, kSuper | kAlt).empty());
    service.setSuspended(false);
    EXPECT_EQ(registrar.main().size(), 3);
    EXPECT_EQ(pressAndCollect(registrar, clock, fired, kP, kSuper | kAlt), std::vector<quint32>{3});
}

TEST(HotkeyChords, ChosenChordsAreCheckedKeptAndNamedByTheLayout)
{
    AppModelHarness h;
    h.keyboard.setName(kR, QStringLiteral("R"));
    h.keyboard.setName(16, QStringLiteral("Z")); // a German keyboard: the key right of T
    h.keyboard.setName(kT, QStringLiteral("T"));
    AppViewModel& m = h.start();
    HotkeyViewModel& chords = m.hotkeyChords();
    EXPECT_EQ(chords.text(HotkeyViewModel::toggleRecording), QStringLiteral("Alt+Super+R"));

    // No modifier, or Shift alone: refused before the system is asked.
    EXPECT_EQ(chords.setChord(HotkeyViewModel::togglePlayback, {kT, 0}),
              QStringLiteral("A hotkey needs Ctrl, Alt or Super, with a letter, a digit or a function key."));
    EXPECT_FALSE(chords.setChord(HotkeyViewModel::togglePlayback, {kT, kShift}).isEmpty());
    // Another hotkey's chord: refused with what it does.
    EXPECT_EQ(chords.setChord(HotkeyViewModel::togglePlayback, {kR, kSuper | kAlt}),
              QStringLiteral("Already used for Start Recording."));
    // Another program's: refused with the system's reason; the old chord stays.
    h.hotkeys.refuseChord({kT, kCtrl | kAlt}, QStringLiteral("another program already uses Ctrl+Alt+T"));
    EXPECT_EQ(chords.setChord(HotkeyViewModel::togglePlayback, {kT, kCtrl | kAlt}),
              QStringLiteral("Not available: another program already uses Ctrl+Alt+T"));
    EXPECT_EQ(chords.chord(HotkeyViewModel::togglePlayback), (HotkeyChord{kP, kSuper | kAlt}));
    // Accepted: in force at once, named as the layout names the key, and kept.
    EXPECT_EQ(chords.setChord(HotkeyViewModel::togglePlayback, {16, kCtrl | kAlt}), QString());
    EXPECT_EQ(chords.text(HotkeyViewModel::togglePlayback), QStringLiteral("Ctrl+Alt+Z"));
    EXPECT_EQ(h.settings.value(QStringLiteral("hotkeys/togglePlayback")).toString(), QStringLiteral("Ctrl+Alt+Y"));
    // Changed in the desktop's own settings (KDE's): in force and kept as if chosen here.
    h.hotkeys.changeFromDesktop(HotkeyViewModel::toggleRecording, {kT, kSuper | kAlt});
    EXPECT_EQ(chords.text(HotkeyViewModel::toggleRecording), QStringLiteral("Alt+Super+T"));
    EXPECT_EQ(h.settings.value(QStringLiteral("hotkeys/toggleRecording")).toString(), QStringLiteral("Alt+Super+T"));
    h.model.reset();
    AppViewModel& again = h.start();
    EXPECT_EQ(again.hotkeyChords().chord(HotkeyViewModel::togglePlayback), (HotkeyChord{16, kCtrl | kAlt}));
    EXPECT_EQ(again.hotkeyChords().chord(HotkeyViewModel::toggleRecording), (HotkeyChord{kT, kSuper | kAlt}));
    EXPECT_EQ(HotkeyChord::fromPortableText(QStringLiteral("ctrl+alt+keypad plus")), (HotkeyChord{69, kCtrl | kAlt}));
    EXPECT_EQ(HotkeyChord::fromPortableText(QStringLiteral("Hyper+R")), std::nullopt);
}

// The chords Quillo uses out of the box must not take a binding from the desktops people
// run: GNOME's own, read from the schemas installed here, and sway's sample configuration.
TEST(HotkeyChords, TheDefaultsCollideWithNoGnomeOrSwayBinding)
{
    struct Binding {
        QString where, accelerator;
    };
    std::vector<Binding> bindings;
    const QDir schemas(QStringLiteral("/usr/share/glib-2.0/schemas"));
    for (const char* schema : {"org.gnome.desktop.wm.keybindings", "org.gnome.mutter.keybindings",
                               "org.gnome.mutter.wayland.keybindings", "org.gnome.shell.keybindings",
                               "org.gnome.settings-daemon.plugins.media-keys"}) {
        // Each schema's file (mutter keeps both of its own in one).
        QString file = schemas.filePath(QString::fromLatin1(schema) + QStringLiteral(".gschema.xml"));
        if (!QFile::exists(file))
            file = schemas.filePath(QStringLiteral("org.gnome.mutter%1.gschema.xml")
                                        .arg(QString::fromLatin1(schema).contains(QLatin1String("wayland"))
                                                 ? QStringLiteral(".wayland")
                                                 : QString()));
        QFile xml(file);
        ASSERT_TRUE(xml.open(QIODevice::ReadOnly)) << "GNOME's schema " << schema << " is not installed ("
                                                   << file.toStdString() << "): scripts/install-deps.sh installs it";
        QXmlStreamReader reader(&xml);
        QString currentSchema, key;
        while (!reader.atEnd()) {
            reader.readNext();
            if (!reader.isStartElement())
                continue;
            if (reader.name() == QLatin1String("schema"))
                currentSchema = reader.attributes().value(QLatin1String("id")).toString();
            else if (reader.name() == QLatin1String("key"))
                key = reader.attributes().value(QLatin1String("name")).toString();
            else if (reader.name() == QLatin1String("default") && currentSchema.startsWith(QLatin1String(schema)))
                for (const auto& match : QRegularExpression(QStringLiteral("'([^']*)'|\"([^\"]*)\"")).globalMatch(reader.readElementText()))
                    bindings.push_back({currentSchema + QLatin1Char(' ') + key, match.captured(1) + match.captured(2)});
        }
    }
    // Overrides the distribution ships ("key=['<Super>x']" under [schema]).
    for (const QString& name : schemas.entryList({QStringLiteral("*.gschema.override")})) {
        QFile file(schemas.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
            for (const auto& match : QRegularExpression(QStringLiteral("'(<[^']*)'")).globalMatch(line))
                bindings.push_back({name, match.captured(1)});
    }
    ASSERT_GT(bindings.size(), 50u) << "no GNOME keybindings were read";
    QFile sway(QStringLiteral("/etc/sway/config"));
    ASSERT_TRUE(sway.open(QIODevice::ReadOnly)) << "sway's sample configuration is not installed";
    for (QString line : QString::fromUtf8(sway.readAll()).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1String("bindsym ")))
            bindings.push_back({QStringLiteral("sway"), line.section(QLatin1Char(' '), 1, 1).replace(QStringLiteral("$mod"), QStringLiteral("Mod4"))});
    }

    // An accelerator as modifiers and a key name: "<Super><Alt>r", "Mod4+Shift+q".
    auto parse = [](QString text) {
        quint32 mods = 0;
        for (const auto& [names, bit] : std::initializer_list<std::pair<QStringList, quint32>>{
                 {{QStringLiteral("super"), QStringLiteral("mod4")}, kSuper},
                 {{QStringLiteral("alt"), QStringLiteral("mod1")}, kAlt},
                 {{QStringLiteral("shift")}, kShift},
                 {{QStringLiteral("control"), QStringLiteral("ctrl"), QStringLiteral("primary")}, kCtrl}})
            for (const QString& n : names) {
                const QRegularExpression mod(QStringLiteral("<%1>|\\b%1\\+").arg(n), QRegularExpression::CaseInsensitiveOption);
                if (text.contains(mod)) {
                    mods |= bit;
                    text.remove(mod);
                }
            }
        return std::make_pair(mods, text.trimmed().toLower());
    };
    for (const HotkeyConfig& config : HotkeyService::defaults()) {
        const QString ours = HotkeyChord::keyName(config.keyCode).toLower();
        for (const Binding& b : bindings) {
            const auto [mods, key] = parse(b.accelerator);
            EXPECT_FALSE(mods == config.modifiers && key == ours)
                << config.chord().portableText().toStdString() << " is " << b.where.toStdString() << " ("
                << b.accelerator.toStdString() << ")";
        }
    }
}
