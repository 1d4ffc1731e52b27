// SPDX-License-Identifier: MIT
#include <QtTest>

#include "profilefile.h"

#include <QTemporaryDir>

using Show = LightsProfile::Show;

namespace {

const QRgb green = qRgb(0, 255, 0), yellow = qRgb(255, 255, 0), red = qRgb(255, 0, 0),
           blue = qRgb(0, 0, 255), purple = qRgb(0x80, 0x00, 0x80);

// The example a user starts from, as the docs show it.
const char *const kExample = R"(idle = "#000000"          # no game drives and nothing is kept
[rev]                      # the rev light
stages = [ { from = 70, color = "#00ff00" },
           { from = 85, color = "#ffff00" },
           { from = 92, color = "#ff0000" } ]
flash = { from = 97, color = "#0000ff", hz = 8 }   # from = "game": the game's own shift signal
[accessories.handbrake]
show = ["handbrake", "base"]   # while a game drives: the first that has something to show
handbrake = "#ff0000"
[accessories.sq]
show = ["rev", "base"]
[accessories.h]
show = ["rev", "base"]
[games."Forza"]                # any of the above for one game, by the name the agent announces
rev.stages = [ { from = 80, color = "#00ff00" } ]
)";

ProfileFile::Result parse(const QByteArray &text)
{
    return ProfileFile::parse(text);
}

} // namespace

class TestProfileFile : public QObject
{
    Q_OBJECT
private slots:
    void readsTheExample();
    void gamesAndCarsTakeWhatIsAboveThem();
    void errorsArePlacedAndAllSaid_data();
    void errorsArePlacedAndAllSaid();
    void printedProfileReadsBackTheSame();
    void files();
};

void TestProfileFile::readsTheExample()
{
    const ProfileFile::Result result = parse(kExample);
    QVERIFY2(result.ok, qPrintable(result.errors.value(0).message));
    const LightsProfile &p = result.profile;
    QVERIFY(p.idleSet);
    const LightsProfile::Settings &s = p.settings;
    QCOMPARE(s.stages, (std::vector<LightsProfile::Stage>{{70, green}, {85, yellow}, {92, red}}));
    QCOMPARE(s.flashFrom, 97.0);
    QVERIFY(!s.flashFollowsGame); // a number: the RPM, whatever the game signals
    QCOMPARE(s.flashColor, blue);
    QCOMPARE(s.accessories[0].show, (std::vector<Show>{Show::Handbrake, Show::Base}));
    QCOMPARE(s.accessories[1].show, (std::vector<Show>{Show::Rev, Show::Base}));
    // The game's table changes the stages alone; names are matched in any case.
    const LightsProfile::Settings &forza = p.settingsFor("forza", "2352");
    QCOMPARE(forza.stages, (std::vector<LightsProfile::Stage>{{80, green}}));
    QCOMPARE(forza.accessories, s.accessories);
    QCOMPARE(&p.settingsFor("F1 24", QString()), &p.settings);

    // No file's worth of settings: the defaults, with the game's own signal.
    const ProfileFile::Result empty = parse("# nothing yet\n");
    QVERIFY(empty.ok);
    QVERIFY(empty.profile == LightsProfile::defaults());
    QVERIFY(empty.profile.settings.flashFollowsGame);
    QVERIFY(!empty.profile.idleSet);

    // The example in the docs spells out the default profile.
    const ProfileFile::Result example = ProfileFile::read(BRIMSEL_EXAMPLE_PROFILE);
    QVERIFY(example.ok && example.found);
    QVERIFY(example.profile == LightsProfile::defaults());
}

void TestProfileFile::gamesAndCarsTakeWhatIsAboveThem()
{
    // The car's table comes before the game's settings in the file, and
    // still starts from them; stages come sorted.
    const ProfileFile::Result result = parse(R"(
[accessories.handbrake]
show = ["rev", "base"]
[games."Gran Turismo 7".cars."3311"]
max_rpm = 9000
accessories.h.show = ["shift", "off"]
[games."Gran Turismo 7"]
rev.flash = { from = "game", color = "purple", hz = 4 }
rev.stages = [ { from = 90, color = "red" }, { from = 60, color = "0,255,0" } ]
)");
    QVERIFY2(result.ok, qPrintable(result.errors.value(0).message));
    const LightsProfile &p = result.profile;
    const LightsProfile::Settings &game = p.settingsFor("Gran Turismo 7", "1");
    QVERIFY(game.flashFollowsGame);
    QCOMPARE(game.flashFrom, 97.0); // where the game sends no signal
    QCOMPARE(game.flashColor, purple);
    QCOMPARE(game.flashHz, 4.0);
    QCOMPARE(game.stages, (std::vector<LightsProfile::Stage>{{60, green}, {90, red}}));
    QCOMPARE(game.accessories[0].show, (std::vector<Show>{Show::Rev, Show::Base}));
    QCOMPARE(game.maxRpm, 0.0);
    const LightsProfile::Settings &car = p.settingsFor("gran turismo 7", "3311");
    QCOMPARE(car.maxRpm, 9000.0);
    QCOMPARE(car.flashColor, purple);
    QCOMPARE(car.stages, game.stages);
    QCOMPARE(car.accessories[2].show, (std::vector<Show>{Show::Shift, Show::Off}));
    QCOMPARE(car.accessories[0].show, game.accessories[0].show);

    // --shift-at and --idle win at every level.
    LightsProfile over = p;
    over.setShiftAt(90);
    over.setIdle(purple);
    QCOMPARE(over.settingsFor("Gran Turismo 7", "3311").flashFrom, 90.0);
    QVERIFY(!over.settingsFor("Gran Turismo 7", "3311").flashFollowsGame);
    QVERIFY(!over.settingsFor("Gran Turismo 7", "").flashFollowsGame);
    QCOMPARE(over.idle, purple);

    // The race's colours: "none", one colour, colours in turn; one game's own.
    const ProfileFile::Result race = parse(R"(
[race]
green = "#00ff00"
yellow = "none"
limiter = { colors = ["#ff8000", "#000000", "blue"], hz = 6 }
[games."iRacing".race]
blue = { colors = ["blue"] }
[games."iRacing".accessories.handbrake]
show = ["handbrake", "limiter", "pit", "abs", "tc", "drs", "base"]
)");
    QVERIFY2(race.ok, qPrintable(race.errors.value(0).message));
    using Flag = TelemetryDecoder::Flag;
    const LightsProfile::Race &every = race.profile.settings.race;
    QCOMPARE(every.flags[size_t(Flag::Green)], (LightsProfile::Signal{{green}, 0}));
    QVERIFY(every.flags[size_t(Flag::Yellow)].colors.empty());
    QCOMPARE(every.items[LightsProfile::LimiterItem],
             (LightsProfile::Signal{{qRgb(0xff, 0x80, 0), qRgb(0, 0, 0), blue}, 6}));
    QCOMPARE(every.flags[size_t(Flag::Blue)],
             LightsProfile::defaults().settings.race.flags[size_t(Flag::Blue)]);
    const LightsProfile::Settings &iracing = race.profile.settingsFor("iRacing", "");
    QCOMPARE(iracing.race.flags[size_t(Flag::Blue)], (LightsProfile::Signal{{blue}, 0}));
    QCOMPARE(iracing.race.items, every.items);
    QCOMPARE(iracing.accessories[0].show.size(), size_t(7));
}

void TestProfileFile::errorsArePlacedAndAllSaid_data()
{
    QTest::addColumn<QByteArray>("text");
    // "LINE:COLUMN: the start of the message"; the parser's own, a word of it.
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("not TOML") << QByteArray("idle = \n") << QStringList{"1:8: Error"};
    QTest::newRow("beyond ASCII outside quotes")
        << QByteArray(
               "# Ferrari F40 é\n[games.\"Forza\".cars.\"Škoda\"]\nmax_rpm = 7000 \xc2\xa0\n")
        << QStringList{"3:16: a character beyond ASCII"};
    // Places count the file's characters, whatever the text is made of.
    QTest::newRow("after a name beyond ASCII")
        << QByteArray("[games.\"iRacing\".cars.'Škoda \"Fabia\"']\nmax_rpm = 7000\nrev.flash = { "
                      "hz = 20 }\n"
                      "accessories.sq.handbrake = \"ŠŠŠ\" # é\n")
        << QStringList{"3:20: rev.flash's hz", "4:28: handbrake: \"ŠŠŠ\" is not a colour"};
    QTest::newRow("bad colour") << QByteArray("\nidle = \"#12\"\n") << QStringList{"2:8: idle"};
    QTest::newRow("unknown keys, all said")
        << QByteArray("colour = 1\n[rev]\nstagez = []\n[accessories.wheel]\nshow = [\"rev\"]\n")
        << QStringList{"1:1: unknown key \"colour\" in the profile",
                       "3:1: unknown key \"stagez\" in [rev]; expected stages or flash",
                       "4:14: unknown key \"wheel\" in [accessories]"};
    QTest::newRow("unknown game") << QByteArray("[games.\"Froza\"]\nrev.flash.hz = 4\n")
                                  << QStringList{"1:8: no game is called \"Froza\""};
    QTest::newRow("unknown show") << QByteArray("[accessories.sq]\nshow = [\"rev\", \"flags\"]\n")
                                  << QStringList{"2:16: show lists what the accessory shows"};
    QTest::newRow("flash faster than the lights go")
        << QByteArray("[rev]\nflash = { hz = 9 }\n") << QStringList{"2:16: rev.flash's hz"};
    QTest::newRow("no flash at all")
        << QByteArray("[rev]\nflash = { hz = 0 }\n") << QStringList{"2:16: rev.flash's hz"};
    QTest::newRow("stage beyond the maximum")
        << QByteArray("[rev]\nstages = [ { from = 150, color = \"red\" } ]\n")
        << QStringList{"2:21: a stage's from"};
    QTest::newRow("stage without colour")
        << QByteArray("[rev]\nstages = [ { from = 50 } ]\n") << QStringList{"2:12: a stage needs"};
    QTest::newRow("max_rpm for every game")
        << QByteArray("max_rpm = 8000\n") << QStringList{"1:1: unknown key \"max_rpm\""};
    QTest::newRow("race: unknown key, bad hz, too many colours, a bad colour")
        << QByteArray("[race]\nyelow = \"red\"\nblue = { colors = [\"red\", \"#000\"], hz = 0 }\n"
                      "red = { colors = [1, 2, 3, 4, 5, 6, 7, 8, 9] }\npit = \"#12\"\n"
                      "tc = { hz = 2 }\n")
        << QStringList{"2:1: unknown key \"yelow\" in [race]; expected green, white, blue, yellow, "
                       "safety_car",
                       "3:41: race.blue's hz",
                       "4:18: race.red's colors must be a list of at most 8", "5:7: race.pit",
                       "6:6: race.tc must be a colour"};
    QTest::newRow("a car's max_rpm out of range")
        << QByteArray("[games.\"iRacing\".cars.\"Mazda MX-5 Cup\"]\nmax_rpm = -1\n")
        << QStringList{"2:11: max_rpm must be"};
}

void TestProfileFile::errorsArePlacedAndAllSaid()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, expected);
    // A name beyond ASCII in quotes is the name as written.
    const ProfileFile::Result names =
        parse("[games.\"iRacing\".cars.'Škoda \"Fabia\"']\n"
              "max_rpm = 7000 # ÷\n[games.\"Forza\".cars.\"Š\\u00e9\"]\n");
    QVERIFY2(names.ok, qPrintable(names.errors.value(0).message));
    QCOMPARE(names.profile.settingsFor("iRacing", "Škoda \"Fabia\"").maxRpm, 7000.0);
    QVERIFY(names.profile.games.at("forza").cars.count("Šé"));
    const ProfileFile::Result result = parse(text);
    QVERIFY(!result.ok);
    QVERIFY(result.profile == LightsProfile::defaults()); // nothing of a broken file
    QStringList said;
    for (const ProfileFile::Error &e : result.errors)
        said << QStringLiteral("%1:%2: %3").arg(e.line).arg(e.column).arg(e.message);
    QCOMPARE(said.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(said[i].startsWith(expected[i]), qPrintable(said[i]));
}

void TestProfileFile::printedProfileReadsBackTheSame()
{
    for (const QByteArray &text :
         {QByteArray(), QByteArray(kExample),
          QByteArray(
              "idle = \"#202020\"\n[games.\"iRacing\".cars.\"Dallara \\\"IR18\\\"\"]\n"
              "max_rpm = 12000.5\nrev.flash = { from = 95.5, game = true }\n"
              "[games.\"Assetto Corsa Competizione\"]\naccessories.sq.handbrake = \"blue\"\n")}) {
        const ProfileFile::Result first = parse(text);
        QVERIFY(first.ok);
        const QString printed = ProfileFile::text(first.profile);
        const ProfileFile::Result again = parse(printed.toUtf8());
        QVERIFY2(again.ok, qPrintable(printed));
        QVERIFY2(again.profile == first.profile, qPrintable(printed));
    }
}

void TestProfileFile::files()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("lights.toml");
    ProfileFile::Result none = ProfileFile::read(path);
    QVERIFY(none.ok);
    QVERIFY(!none.found);

    QFile big(path);
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(int(ProfileFile::MaxBytes) + 1, '#'));
    big.close();
    const ProfileFile::Result tooBig = ProfileFile::read(path);
    QVERIFY(!tooBig.ok && tooBig.found);
    QCOMPARE(ProfileFile::errorText(path, tooBig.errors.value(0)).left(path.size() + 2),
             QDir::toNativeSeparators(path) + ": ");

    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QCOMPARE(ProfileFile::defaultPath(), dir.path() + "/brimsel-tool/lights.toml");
    qputenv("XDG_CONFIG_HOME", "relative/not/counted");
    QCOMPARE(ProfileFile::defaultPath(), QDir::homePath() + "/.config/brimsel-tool/lights.toml");
}

QTEST_GUILESS_MAIN(TestProfileFile)
#include "test_profilefile.moc"
