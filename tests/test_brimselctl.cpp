// SPDX-License-Identifier: MIT
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>
#include <QTemporaryDir>
#include <QtTest>

#include "brimselctl.h"
#include "fakehidbus.h"
#include "hidworker.h"

namespace {

struct Outcome
{
    int status;
    QString out;
    QString err;
};

Outcome runCtl(const QStringList &arguments)
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    BrimselCtl ctl(outStream, errStream);
    // Never the user's agent, where one runs here: it would keep our colours.
    ctl.setAgentPorts({});
    const int status = ctl.run(QStringList{QStringLiteral("brimsel-ctl")} + arguments);
    return {status, out, err};
}

QByteArray report(int r, int g, int b)
{
    return QByteArray::fromHex(QString::asprintf("02%02x%02x%02x", r, b, g).toLatin1());
}

QVector<unsigned short> writtenProducts()
{
    QVector<unsigned short> ids;
    for (const FakeHidBus::Event &e : FakeHidBus::events(FakeHidBus::Call::Write))
        ids.append(e.productId);
    return ids;
}

QSet<QString> longOptions(QString text)
{
    text.replace(QLatin1String("\\-"), QLatin1String("-"));
    // The options of systemctl, quoted to enable the user unit, are not ours.
    text.remove(QRegularExpression("systemctl [^\n]*"));
    QSet<QString> names;
    QRegularExpressionMatchIterator it = QRegularExpression("--[a-z][a-z0-9-]*").globalMatch(text);
    while (it.hasNext())
        names.insert(it.next().captured());
    return names;
}

} // namespace

class TestBrimselCtl : public QObject
{
    Q_OBJECT
private slots:
    void init() { FakeHidBus::reset(); }
    void cleanup()
    {
        // Every run leaves no handle open, and a run that reached the bus shuts it down.
        QCOMPARE(FakeHidBus::openHandles(), 0);
        if (!FakeHidBus::events().isEmpty())
            QCOMPARE(FakeHidBus::count(FakeHidBus::Call::Exit), 1);
    }

    void acceptedColours_data();
    void acceptedColours();
    void rejectedArguments_data();
    void rejectedArguments();
    void deviceSelection_data();
    void deviceSelection();
    void missingAccessories();
    void failures();
    void listsAccessories();
    void listMarksWhatCannotBeOpened();
    void checksAProfile();
    void listsNothing();
    void namesAHidLibraryThatCannotStart();
    void libraryOutlivesAHungWrite();
    void sendsWhatTheWindowSends();
    void helpAndVersion();
    void messagesQuoteArguments();
    void failedOutputIsAnError();
};

void TestBrimselCtl::acceptedColours_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("line");
    QTest::newRow("#rgb") << QStringList{"--color", "#f08"} << report(255, 0, 136)
                          << "SQ Shifter: #ff0088\n";
    QTest::newRow("#rrggbb upper")
        << QStringList{"-c", "#FF0080"} << report(255, 0, 128) << "SQ Shifter: #ff0080\n";
    QTest::newRow("r,g,b") << QStringList{"--color=255,0,128"} << report(255, 0, 128)
                           << "SQ Shifter: #ff0080\n";
    QTest::newRow("r,g,b spaced") << QStringList{"--color", " 1 , 2 , 3 "} << report(1, 2, 3)
                                  << "SQ Shifter: #010203\n";
    QTest::newRow("r,g,b bounds") << QStringList{"-c", "0,255,000"} << report(0, 255, 0)
                                  << "SQ Shifter: #00ff00\n";
    QTest::newRow("name") << QStringList{"--color", "DarkViolet"} << report(148, 0, 211)
                          << "SQ Shifter: #9400d3\n";
    // Blanks around every form, and the spelling that the texts use.
    QTest::newRow("#rgb blanks") << QStringList{"--color", " #f08\t"} << report(255, 0, 136)
                                 << "SQ Shifter: #ff0088\n";
    QTest::newRow("r,g,b blanks") << QStringList{"-c", "\t1, 2, 3 "} << report(1, 2, 3)
                                  << "SQ Shifter: #010203\n";
    QTest::newRow("name blanks") << QStringList{"--colour", "darkviolet "} << report(148, 0, 211)
                                 << "SQ Shifter: #9400d3\n";
}

void TestBrimselCtl::acceptedColours()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line);
    FakeHidBus::plug(AccessoryTable::SqShifterProductId);
    const Outcome result = runCtl(args);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out, line);
    QVERIFY(result.err.isEmpty());
    const auto writes = FakeHidBus::events(FakeHidBus::Call::Write);
    QCOMPARE(writes.size(), 2);
    QCOMPARE(writes[0].bytes, bytes);
    QCOMPARE(writes[1].bytes, bytes);
}

void TestBrimselCtl::rejectedArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString colour = "is not a colour";
    const QString name = "is not an accessory name";
    for (const char *bad : {"#ff008", "#fff0",   "#80ff0080", "#fff000fff",  "#ggg",
                            "#",      "256,0,0", "-1,0,0",    "1,2",         "1,2,3,4",
                            "1,,3",   "1.5,2,3", "+1,2,3",    "0x10,0,0",    "99999999999,0,0",
                            "",       " \t",     "nocolour",  "transparent", "#fff\n",
                            "# fff"})
        QTest::newRow(qPrintable("colour " + QString(bad)))
            << QStringList{"--color", bad} << colour;
    for (const char *bad : {"", "sq,", "sq,,h", "brake", "sq,all"})
        QTest::newRow(qPrintable("device " + QString(bad)))
            << QStringList{"--color", "red", "--device", bad} << name;
    QTest::newRow("no action") << QStringList{} << "nothing to do: give --list to list";
    QTest::newRow("both actions") << QStringList{"--list", "--color", "red"} << "only one of";
    QTest::newRow("stream and colour") << QStringList{"--stream", "-c", "red"} << "only one of";
    QTest::newRow("device alone") << QStringList{"--device", "sq"} << "nothing to do";
    QTest::newRow("device with list") << QStringList{"-l", "-d", "sq"} << "or --openrgb only";
    QTest::newRow("idle alone") << QStringList{"-c", "red", "--idle", "red"}
                                << "--idle and --profile go with";
    QTest::newRow("profile alone")
        << QStringList{"--list", "--profile", "x.toml"} << "--profile go with";
    QTest::newRow("no such profile")
        << QStringList{"--openrgb", "--profile", "/nonexistent/lights.toml"}
        << "--profile: no file";
    QTest::newRow("check-profile and more")
        << QStringList{"--check-profile", "--telemetry"} << "--check-profile goes alone";
    QTest::newRow("shift point, agent")
        << QStringList{"--openrgb", "--shift-at", "90"} << "go with --telemetry only";
    QTest::newRow("agent, three ports")
        << QStringList{"--openrgb", "1", "-t", "2", "3"} << "unexpected argument \"3\"";
    QTest::newRow("agent, whose port")
        << QStringList{"--openrgb", "--telemetry", "--idle", "red", "2"} << "right after";
    QTest::newRow("agent, bad port") << QStringList{"--openrgb", "70000"} << "70000";
    QTest::newRow("stream, bad device") << QStringList{"-s", "-d", "hb"} << name;
    QTest::newRow("colour twice") << QStringList{"-c", "red", "-c", "blue"} << "once";
    QTest::newRow("positional") << QStringList{"red"} << "unexpected argument";
    QTest::newRow("unknown option") << QStringList{"--colr", "red"} << "unknown option \"--colr\"";
    QTest::newRow("unknown short") << QStringList{"-xc", "red"} << "unknown option \"-x\"";
    QTest::newRow("unknown long, one letter")
        << QStringList{"--x=1", "-c", "red"} << "unknown option \"--x\"";
    QTest::newRow("colour twice, both spellings")
        << QStringList{"-c", "red", "--colour", "blue"} << "once";
    QTest::newRow("missing value") << QStringList{"--color"} << "Missing value";
}

void TestBrimselCtl::rejectedArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    for (unsigned short id :
         {AccessoryTable::HandbrakeProductId, AccessoryTable::SqShifterProductId,
          AccessoryTable::HShifterProductId})
        FakeHidBus::plug(id);
    const Outcome result = runCtl(args);
    QCOMPARE(result.status, 2);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.startsWith("brimsel-ctl: ") && result.err.contains(message),
             qPrintable(result.err));
    QVERIFY(result.err.contains("--help"));
    QVERIFY(FakeHidBus::events().isEmpty());
}

void TestBrimselCtl::deviceSelection_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QVector<unsigned short>>("written");
    const unsigned short hb = AccessoryTable::HandbrakeProductId,
                         sq = AccessoryTable::SqShifterProductId,
                         h = AccessoryTable::HShifterProductId;
    QTest::newRow("all by default")
        << QStringList{} << QVector<unsigned short>{hb, hb, sq, sq, h, h};
    QTest::newRow("one") << QStringList{"--device", "sq"} << QVector<unsigned short>{sq, sq};
    QTest::newRow("window order") << QStringList{"-d", "h,handbrake"}
                                  << QVector<unsigned short>{hb, hb, h, h};
    QTest::newRow("case and spaces")
        << QStringList{"--device=SQ, H"} << QVector<unsigned short>{sq, sq, h, h};
    QTest::newRow("duplicate") << QStringList{"-d", "sq,sq", "-d", "sq"}
                               << QVector<unsigned short>{sq, sq};
}

void TestBrimselCtl::deviceSelection()
{
    QFETCH(QStringList, args);
    QFETCH(QVector<unsigned short>, written);
    FakeHidBus::plug(AccessoryTable::HShifterProductId);
    FakeHidBus::plug(AccessoryTable::SqShifterProductId);
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId);
    const Outcome result = runCtl(QStringList{"--color", "blue"} + args);
    QCOMPARE(result.status, 0);
    QCOMPARE(writtenProducts(), written);
    QCOMPARE(result.out.count('\n'), written.size() / 2);
    QVERIFY(result.err.isEmpty());
}

void TestBrimselCtl::missingAccessories()
{
    Outcome result = runCtl({"--color", "red"});
    QCOMPARE(result.status, 3);
    QCOMPARE(result.err, QString("brimsel-ctl: Device not found\n"));
    QVERIFY(result.out.isEmpty());

    FakeHidBus::plug(AccessoryTable::SqShifterProductId);
    result = runCtl({"--color", "red", "--device", "handbrake,h"});
    QCOMPARE(result.status, 3);
    QVERIFY(result.err.contains("Handbrake: not connected"));
    QVERIFY(result.err.contains("H Shifter: not connected"));
    QCOMPARE(FakeHidBus::count(FakeHidBus::Call::Write), 0);

    // Some of the named ones are there: those are set, the rest reported.
    FakeHidBus::reset();
    FakeHidBus::plug(AccessoryTable::SqShifterProductId);
    result = runCtl({"--color", "red", "--device", "sq,h"});
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out, QString("SQ Shifter: #ff0000\n"));
    QCOMPARE(result.err, QString("brimsel-ctl: H Shifter: not connected\n"));
}

void TestBrimselCtl::failures()
{
    // A failed write is reported, and the other accessories are still set.
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId);
    FakeHidBus::plug(AccessoryTable::HShifterProductId);
    FakeHidBus::failWrites(1);
    Outcome result = runCtl({"--color", "red"});
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.contains("Handbrake: write failed"));
    QCOMPARE(result.out, QString("H Shifter: #ff0000\n"));
    QCOMPARE(FakeHidBus::count(FakeHidBus::Call::Write), 4);

    // A hung accessory is given up on after the bound that --help states.
    FakeHidBus::reset();
    FakeHidBus::plug(AccessoryTable::HandbrakeProductId);
    FakeHidBus::plug(AccessoryTable::HShifterProductId);
    FakeHidBus::delayWrites(1500);
    result = runCtl({"--color", "red"});
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.contains("Handbrake: no answer within 500 ms"));
    QVERIFY(BrimselCtl::helpText().contains("within 500 ms"));
    QCOMPARE(result.out, QString("H Shifter: #ff0000\n"));
    QTRY_COMPARE_WITH_TIMEOUT(FakeHidBus::openHandles(), 0, 5000);

    // Present but not openable (no access to the node) is not "not found".
    FakeHidBus::reset();
    FakeHidBus::plug(AccessoryTable::HShifterProductId);
    FakeHidBus::failOpens(1);
    result = runCtl({"--color", "red"});
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.contains("H Shifter: cannot open"));
    QVERIFY(!result.err.contains("Device not found"));
    QVERIFY(result.out.isEmpty());
}

void TestBrimselCtl::libraryOutlivesAHungWrite()
{
    FakeHidBus::plug(AccessoryTable::SqShifterProductId);
    FakeHidBus::delayWrites(1500);
    QCOMPARE(runCtl({"--color", "red"}).status, 1);
    // Still inside the write: shutting hidapi down now would pull the
    // library out from under it (hid.dll on Windows).
    QCOMPARE(FakeHidBus::count(FakeHidBus::Call::Exit), 0);
    QTRY_COMPARE_WITH_TIMEOUT(FakeHidBus::count(FakeHidBus::Call::Exit), 1, 5000);
    QCOMPARE(FakeHidBus::events().last().call, FakeHidBus::Call::Exit);
    QCOMPARE(FakeHidBus::events(FakeHidBus::Call::Close).size(), 1);
}

void TestBrimselCtl::listsAccessories()
{
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId);
    FakeHidBus::plug(0x3105); // same vendor, not one of ours
    const int h = FakeHidBus::plug(AccessoryTable::HShifterProductId);
    const int hb2 = FakeHidBus::plug(AccessoryTable::HandbrakeProductId);
    const Outcome result = runCtl({"--list"});
    QCOMPARE(result.status, 0);
    const QString line("%1\t%2\t/dev/fake-hidraw%3\tBRIM%3\n");
    QCOMPARE(result.out, line.arg("Handbrake", "0x3103").arg(hb) +
                             line.arg("H Shifter", "0x3104").arg(h) +
                             line.arg("Handbrake", "0x3103").arg(hb2));
    QVERIFY(result.err.isEmpty());
    QCOMPARE(FakeHidBus::openHandles(), 0);
}

void TestBrimselCtl::listMarksWhatCannotBeOpened()
{
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId);
    const int h = FakeHidBus::plug(AccessoryTable::HShifterProductId);
    const int hb2 = FakeHidBus::plug(AccessoryTable::HandbrakeProductId);
    const QString line("%1\t%2\t/dev/fake-hidraw%3\tBRIM%3\n");
    FakeHidBus::failOpens(1);
    const Outcome marked = runCtl({"--list"});
    QCOMPARE(marked.status, 0);
    QCOMPARE(marked.out, line.arg("Handbrake", "0x3103").arg(hb).chopped(1) +
                             "\tcannot be opened\n" + line.arg("H Shifter", "0x3104").arg(h) +
                             line.arg("Handbrake", "0x3103").arg(hb2));
    QCOMPARE(marked.err.count("cannot be opened"), 1);
    QVERIFY(marked.err.startsWith("brimsel-ctl: Handbrake: plugged in, but it cannot be opened: "));
}

void TestBrimselCtl::checksAProfile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("lights.toml");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[games.\"F1 24\"]\naccessories.h.show = [\"shift\", \"off\"]\n");
    file.close();
    // Every setting, the defaults filled in, the game's in full.
    Outcome good = runCtl({"--check-profile", path});
    QCOMPARE(good.status, 0);
    QVERIFY(good.err.isEmpty());
    QVERIFY2(
        good.out.contains("\n[games.\"F1 24\".accessories.h]\nshow = [\"shift\", \"off\"]\n") &&
            good.out.contains("\n[accessories.h]\nshow = [\"limiter\", \"rev\", \"base\"]\n") &&
            good.out.contains("stages = [ { from = 70, color = \"#00ff00\" }"),
        qPrintable(good.out));
    // The usual file, from $XDG_CONFIG_HOME; none is the default profile.
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const Outcome none = runCtl({"--check-profile"});
    QCOMPARE(none.status, 0);
    QVERIFY(none.out.startsWith("# No file " + dir.path() + "/brimsel-tool/lights.toml"));

    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("idle = \"#00ff00\"\n[accessories.sq]\nshow = [\"rev\", \"flags\"]\nhz = 3\n");
    file.close();
    const Outcome broken = runCtl({"--check-profile", "--profile", path});
    QCOMPARE(broken.status, 2);
    QVERIFY(broken.out.isEmpty());
    const QStringList lines = broken.err.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(path + ":3:16: show lists"), qPrintable(lines[0]));
    QVERIFY2(lines[1].startsWith(path + ":4:1: unknown key \"hz\""), qPrintable(lines[1]));
    QCOMPARE(lines[2], "brimsel-ctl: 2 errors in " + path + "; the agent keeps the profile it had");
    QVERIFY(FakeHidBus::events().isEmpty());
}

void TestBrimselCtl::listsNothing()
{
    FakeHidBus::plug(0x3105);
    const Outcome result = runCtl({"-l"});
    QCOMPARE(result.status, 3);
    QVERIFY(result.out.isEmpty());
    QCOMPARE(result.err, QString("brimsel-ctl: Device not found\n"));
}

void TestBrimselCtl::namesAHidLibraryThatCannotStart()
{
    const QString message("brimsel-ctl: cannot look for accessories: USB HID support failed to "
                          "start: no hid.dll\n");
    for (const QStringList &args : {QStringList{"--list"}, QStringList{"-c", "red", "-d", "sq"}}) {
        FakeHidBus::reset();
        FakeHidBus::plug(AccessoryTable::SqShifterProductId);
        FakeHidBus::failInit(QStringLiteral("no hid.dll"));
        const Outcome result = runCtl(args);
        QCOMPARE(result.status, 3);
        QCOMPARE(result.err, message);
        QVERIFY(result.out.isEmpty());
    }
}

void TestBrimselCtl::sendsWhatTheWindowSends()
{
    for (const QColor &color : {QColor(255, 0, 128), QColor(0x12, 0x34, 0x56), QColor(Qt::white)}) {
        FakeHidBus::reset();
        FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
        {
            HidWorker worker;
            worker.process();
            worker.updateColor(color, HidWorker::SqShifter);
        }
        const auto windowWrites = FakeHidBus::events(FakeHidBus::Call::Write);
        FakeHidBus::reset();
        FakeHidBus::plug(AccessoryTable::SqShifterProductId);
        QCOMPARE(runCtl({"--color", color.name()}).status, 0);
        const auto ctlWrites = FakeHidBus::events(FakeHidBus::Call::Write);
        QCOMPARE(ctlWrites.size(), 2);
        QCOMPARE(windowWrites.size(), 2);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(ctlWrites[i].bytes, windowWrites[i].bytes);
    }
}

void TestBrimselCtl::helpAndVersion()
{
    FakeHidBus::plug(AccessoryTable::SqShifterProductId);
    for (const char *option : {"--help", "-h"}) {
        const Outcome result = runCtl({option});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, BrimselCtl::helpText());
        QVERIFY(result.err.isEmpty());
    }
    const Outcome result = runCtl({"--version"});
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out, QString("brimsel-ctl 2.0.0.0\n"));
    QVERIFY(FakeHidBus::events().isEmpty());

    // The man page and --help document the same options.
    QFile manPage(BRIMSEL_CTL_MANPAGE);
    QVERIFY(manPage.open(QIODevice::ReadOnly | QIODevice::Text));
    const QSet<QString> documented = longOptions(BrimselCtl::helpText());
    QCOMPARE(longOptions(QString::fromUtf8(manPage.readAll())), documented);
    QCOMPARE(documented,
             (QSet<QString>{"--list", "--color", "--colour", "--stream", "--telemetry", "--openrgb",
                            "--shift-at", "--idle", "--ac", "--gt7", "--profile", "--check-profile",
                            "--device", "--help", "--version"}));
}

// What comes from the command line reaches the terminal neither as a command
// nor whole.
void TestBrimselCtl::messagesQuoteArguments()
{
    const QString red = QStringLiteral("\x1b[31mred\\");
    const QString quoted = QStringLiteral("\"\\x1b[31mred\\x5c\"");
    const QString huge(100000, QLatin1Char('x'));
    const QString cut = QLatin1Char('"') + QString(40, QLatin1Char('x')) + QStringLiteral("...\"");
    const QList<QPair<QStringList, QString>> cases{
        {{"--color", red}, quoted},
        {{"-c", "red", "-d", "sq," + red}, quoted},
        {{"--" + red}, QStringLiteral("\"--\\x1b[31mred\\x5c\"")},
        {{"-l", red}, quoted},
        {{"-c", QStringLiteral("caf\u00e9\u009b")}, QStringLiteral("\"caf\u00e9\\xc2\\x9b\"")},
        {{"--color", huge}, cut},
    };
    for (const auto &c : cases) {
        const Outcome result = runCtl(c.first);
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains(c.second), qPrintable(result.err));
        QVERIFY2(result.err.size() < 300, qPrintable(c.first.join(' ').left(50)));
    }
}

void TestBrimselCtl::failedOutputIsAnError()
{
    FILE *full = fopen("/dev/full", "w");
    if (!full)
        QSKIP("no /dev/full");
    QString err;
    int status;
    {
        // The stream flushes what it holds once more as it goes: before fclose.
        QTextStream outStream(full), errStream(&err);
        BrimselCtl ctl(outStream, errStream);
        status = ctl.run({"brimsel-ctl", "--help"});
    }
    fclose(full);
    QCOMPARE(status, 1);
    QCOMPARE(err, QString("brimsel-ctl: cannot write the output: No space left on device\n"));
}

QTEST_GUILESS_MAIN(TestBrimselCtl)
#include "test_brimselctl.moc"
