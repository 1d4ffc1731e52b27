// SPDX-License-Identifier: MIT
// The Lights window over the agent and the stand-in bus: a colour chosen in
// its panel is kept for the accessory picked, reaches it and the state file;
// picking an accessory keeps nothing; the game lights paused show the kept
// colours while a game drives; the profile's settings are written to its
// file over what it holds, follow it when it changes outside, and a broken
// file is not written over.
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "colorbutton.h"
#include "fakehidbus.h"
#include "lightsagent.h"
#include "lightswindow.h"
#include "mycolorwidget.h"
#include "profilefile.h"
#include "profilesettings.h"
#include "telemetrypackets.h"
#include "testagent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A colour taken in a button's dialog.
void choose(ColorButton *button, QRgb rgb)
{
    QVERIFY(button);
    button->setColor(QColor(rgb));
    emit button->colorChosen(QColor(rgb));
}

} // namespace

class TestLightsWindow : public QObject
{
    Q_OBJECT
private slots:
    void init() { FakeHidBus::reset(); }
    void keepsTheChosenColour();
    void pausedGameLightsShowTheKeptColours();
    void profileSettingsGoToTheFile();
    void profileSettingsRefuseWhatIsWrong();
};

void TestLightsWindow::keepsTheChosenColour()
{
    using M = FakeHidBus::ReadMode;
    const int hb = FakeHidBus::plug(AccessoryTable::HandbrakeProductId, M::Immediate);
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    QTemporaryDir dir;
    LightsAgent agent(TestAgent::options(dir));
    QVERIFY(agent.start());
    LightsWindow window(&agent);
    window.show();
    QTRY_COMPARE(agent.connectedAccessories(), 1 | 2);
    QTRY_VERIFY2(window.findChild<QLabel *>("status")->text().contains("SQ Shifter"),
                 qPrintable(window.findChild<QLabel *>("status")->text()));

    // Picking an accessory sets the panel to its colour: nothing kept.
    window.chooseSlot(1);
    QVERIFY(!agent.hasKeptColor(1) && !agent.hasKeptColor(0));
    const QRgb teal = qRgb(0x12, 0x80, 0x80);
    window.panel()->setCurrentColor(QColor(teal));
    QVERIFY(agent.hasKeptColor(1) && agent.keptColor(1) == teal);
    QVERIFY(!agent.hasKeptColor(0));
    QTRY_COMPARE(FakeHidBus::lastColor(sq), teal);
    const auto stateFile = [&] {
        QFile state(dir.filePath("state/colors"));
        return state.open(QIODevice::ReadOnly) ? state.readAll() : QByteArray();
    };
    QTRY_COMPARE(stateFile(), QByteArray("sq #128080\n"));
    QTRY_VERIFY(window.findChild<QLabel *>("kept_sq")->toolTip() == "#128080");
    QCOMPARE(window.findChild<QLabel *>("kept_handbrake")->toolTip(), QString("none kept"));
    QVERIFY(FakeHidBus::lastColor(hb) != teal);
    // Picking it again starts from its kept colour.
    window.chooseSlot(0);
    window.chooseSlot(1);
    QCOMPARE(window.panel()->currentColor().rgb(), teal);
    agent.stop();
}

void TestLightsWindow::pausedGameLightsShowTheKeptColours()
{
    using M = FakeHidBus::ReadMode;
    const int sq = FakeHidBus::plug(AccessoryTable::SqShifterProductId, M::Immediate);
    QTemporaryDir dir;
    LightsAgent::Options o = TestAgent::options(dir);
    LightsAgent agent(o);
    QVERIFY(agent.start());
    const QRgb kept = qRgb(0x40, 0x00, 0x40);
    agent.setKeptColor(1, kept);
    QTRY_COMPARE(FakeHidBus::lastColor(sq), kept);
    // Forza at 75 %: the rev light's green.
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(o.sources.listen.port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto drive = [&] {
        const QByteArray p = TelemetryPackets::forza(311, true, 7500, 10000);
        sendto(s, p.constData(), size_t(p.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
        QTest::qWait(16);
    };
    for (int i = 0; i < 200 && FakeHidBus::lastColor(sq) != qRgb(0, 255, 0); ++i)
        drive();
    QCOMPARE(FakeHidBus::lastColor(sq), qRgb(0, 255, 0));
    QVERIFY(!agent.game().isEmpty());
    agent.setGameLightsPaused(true);
    drive();
    QTRY_COMPARE(FakeHidBus::lastColor(sq), kept);
    QVERIFY(agent.game().isEmpty());
    for (int i = 0; i < 10; ++i)
        drive();
    QCOMPARE(FakeHidBus::lastColor(sq), kept); // still heard, not shown
    agent.setGameLightsPaused(false);
    drive();
    QTRY_COMPARE(FakeHidBus::lastColor(sq), qRgb(0, 255, 0));
    close(s);
    agent.stop();
}

void TestLightsWindow::profileSettingsGoToTheFile()
{
    using LP = LightsProfile;
    QTemporaryDir dir;
    const QString path = dir.filePath("lights.toml");
    // The owner's file: Forza with its own flash colour, the rest as every
    // game's.
    LightsProfile mine = LP::defaults();
    LP::Game forza;
    forza.name = "Forza";
    forza.settings = mine.settings;
    forza.settings.flashColor = qRgb(0, 255, 0);
    mine.games["forza"] = forza;
    const QByteArray original = "# my lights\n" + ProfileFile::text(mine).toUtf8();
    QVERIFY(writeFile(path, original));
    LightsAgent agent(TestAgent::options(dir));
    QVERIFY(agent.start());
    LightsWindow window(&agent);
    ProfileSettings *settings = window.profileSettings();
    QCOMPARE(settings->profile(), mine);

    auto *sqShows = settings->findChild<QLineEdit *>("show_sq");
    QVERIFY(sqShows);
    QCOMPARE(sqShows->text(), QString("limiter, rev, base"));
    sqShows->setText("REV base");
    emit sqShows->editingFinished();
    choose(settings->findChild<ColorButton *>("flashColor"), qRgb(255, 0, 255));
    choose(settings->findChild<ColorButton *>("stageColor_0"), qRgb(0, 0x80, 0));
    settings->findChild<QCheckBox *>("race_blue")->setChecked(false);
    settings->findChild<QDoubleSpinBox *>("race_yellow_hz")->setValue(4);
    choose(settings->findChild<ColorButton *>("idleColor"), qRgb(0x10, 0x10, 0x10));
    QVERIFY(settings->hasUnwritten());
    QVERIFY(settings->writeNow());

    const ProfileFile::Result saved = ProfileFile::read(path);
    QVERIFY(saved.ok);
    const LP::Settings &all = saved.profile.settings;
    QCOMPARE(all.accessories[1].show, (std::vector<LP::Show>{LP::Show::Rev, LP::Show::Base}));
    QCOMPARE(all.accessories[0].show, mine.settings.accessories[0].show);
    QCOMPARE(all.flashColor, qRgb(255, 0, 255));
    QCOMPARE(all.stages[0].color, qRgb(0, 0x80, 0));
    QVERIFY(all.race.flags[size_t(TelemetryDecoder::Flag::Blue)].colors.empty());
    const LP::Signal &yellow = all.race.flags[size_t(TelemetryDecoder::Flag::Yellow)];
    QCOMPARE(yellow.colors, (std::vector<QRgb>{qRgb(0xff, 0xbf, 0), qRgb(0, 0, 0)}));
    QCOMPARE(yellow.hz, 4.0);
    QVERIFY(saved.profile.idleSet);
    QCOMPARE(saved.profile.idle, qRgb(0x10, 0x10, 0x10));
    // Forza had every game's stages and list, and follows them; its own
    // flash colour stays.
    const LP::Settings &forzaSaved = saved.profile.games.at("forza").settings;
    QCOMPARE(forzaSaved.stages, all.stages);
    QCOMPARE(forzaSaved.accessories[1].show, all.accessories[1].show);
    QCOMPARE(forzaSaved.flashColor, qRgb(0, 255, 0));
    // The owner's text, comment and all, is kept beside it.
    QCOMPARE(readFile(path + ".bak"), original);
    // The agent follows the file.
    QTRY_COMPARE(agent.profile().settings.flashColor, qRgb(255, 0, 255));

    // Edited outside: the window shows it, its own writes made nothing new.
    LightsProfile outside = saved.profile;
    outside.settings.flashHz = 5;
    QVERIFY(writeFile(path, ProfileFile::text(outside).toUtf8()));
    QTRY_COMPARE(settings->findChild<QDoubleSpinBox *>("flashHz")->value(), 5.0);
    QCOMPARE(settings->profile(), outside);
    // A change made here goes over the file as it is then: an edit by hand
    // not yet seen is kept.
    outside.settings.flashFrom = 90;
    QVERIFY(writeFile(path, ProfileFile::text(outside).toUtf8()));
    settings->findChild<QDoubleSpinBox *>("flashHz")->setValue(6);
    QVERIFY(settings->writeNow());
    const ProfileFile::Result merged = ProfileFile::read(path);
    QCOMPARE(merged.profile.settings.flashFrom, 90.0);
    QCOMPARE(merged.profile.settings.flashHz, 6.0);
    agent.stop();
}

void TestLightsWindow::profileSettingsRefuseWhatIsWrong()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("lights.toml");
    LightsAgent agent(TestAgent::options(dir));
    QVERIFY(agent.start());
    LightsWindow window(&agent);
    ProfileSettings *settings = window.profileSettings();

    // A name no accessory shows: not taken, said.
    auto *hbShows = settings->findChild<QLineEdit *>("show_handbrake");
    hbShows->setText("rev, sparkle");
    emit hbShows->editingFinished();
    QVERIFY(!settings->hasUnwritten());
    QVERIFY2(settings->statusText().contains("sparkle"), qPrintable(settings->statusText()));

    // No file: one is made, with the defaults and the change.
    settings->findChild<QDoubleSpinBox *>("stageFrom_2")->setValue(60);
    QVERIFY(settings->writeNow());
    ProfileFile::Result made = ProfileFile::read(path);
    QVERIFY(made.ok && made.found);
    QCOMPARE(made.profile.settings.stages.front().from, 60.0); // in order of rising share
    QCOMPARE(made.profile.settings.stages.front().color, qRgb(255, 0, 0));

    // A file broken by hand is not written over.
    const QByteArray broken = "[rev]\nstages = 3\n";
    QVERIFY(writeFile(path, broken));
    settings->findChild<QDoubleSpinBox *>("flashHz")->setValue(2);
    QVERIFY(!settings->writeNow());
    QVERIFY2(settings->statusText().contains("lights.toml:2:"), qPrintable(settings->statusText()));
    QCOMPARE(readFile(path), broken);
    QVERIFY(settings->hasUnwritten());
    agent.stop();
}

QTEST_MAIN(TestLightsWindow)
#include "test_lightswindow.moc"
