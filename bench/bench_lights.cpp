// SPDX-License-Identifier: MIT
// The lights with a face, against the agent alone: idle CPU with three
// stand-in accessories and no game (the agent alone, and with its tray icon
// and Lights window made); the window's colour chain with an agent running
// and without one; and, where there is an X display with a system tray,
// the real programs: start to the icon shown, memory, idle CPU.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "agentcolorrelay.h"
#include "fakehidbus.h"
#include "lightsagent.h"
#include "lightstray.h"
#include "mainwindow.h"
#include "mycolorwidget.h"
#include "testagent.h"
#include "testports.h"

namespace {

double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool accepts(quint16 port)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0;
    close(s);
    return ok;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double quantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[size_t(q * double(v.size() - 1))];
}

// CPU per second of this process, idle, with the agent alone or with its
// tray and window made too; rounds alternate so that both see the same
// machine.
void idleCpu()
{
    const int rounds = 6, settleMs = 1000, measureMs = 5000;
    std::vector<double> bare, face;
    for (int r = 0; r < rounds * 2; ++r) {
        const bool withFace = r % 2;
        QTemporaryDir dir;
        LightsAgent agent(TestAgent::options(dir));
        if (!agent.start()) {
            std::printf("  the agent did not start\n");
            return;
        }
        std::unique_ptr<LightsTray> tray;
        if (withFace) {
            tray = std::make_unique<LightsTray>(&agent);
            tray->show();
        }
        runFor(settleMs);
        const double cpu = processCpuMs();
        runFor(measureMs);
        (withFace ? face : bare).push_back((processCpuMs() - cpu) / (measureMs / 1000.0));
        tray.reset();
        agent.stop();
        FakeHidBus::takeEvents();
    }
    // The least of the rounds is the cost itself; the median also holds
    // what else the machine did meanwhile.
    const double b = median(bare), f = median(face);
    const double bMin = *std::min_element(bare.begin(), bare.end());
    const double fMin = *std::min_element(face.begin(), face.end());
    std::printf("idle, 3 stand-in accessories, no game: CPU ms per s over %d rounds of %d s\n",
                rounds, measureMs / 1000);
    std::printf("  agent alone: median %.3f, least %.3f; with tray and window: median %.3f, "
                "least %.3f\n",
                b, bMin, f, fMin);
    std::printf("  with tray and window / alone: %.2fx (medians), %.2fx (least) (goal within "
                "1.2x)\n",
                b > 0 ? f / b : 0.0, bMin > 0 ? fMin / bMin : 0.0);
}

// The window's colour chain: a colour set in its panel to the report at the
// handbrake, with brimsel-ctl --openrgb running as the agent that the relay
// gives each colour to, and with none.
void windowChain(int hb)
{
    QTemporaryDir dir;
    const quint16 port = TestPorts::freeTcp();
    QProcess agent;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_STATE_HOME", dir.filePath("state"));
    env.insert("XDG_RUNTIME_DIR", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    agent.setProcessEnvironment(env);
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent.start(BRIMSEL_CTL, {"--openrgb", QString("127.0.0.1:%1").arg(port)});
    QElapsedTimer up;
    up.start();
    bool serving = false;
    while (!(serving = accepts(port)) && up.elapsed() < 10000)
        runFor(50);
    if (!serving) {
        std::printf("window chain: brimsel-ctl --openrgb did not serve on %u; skipped\n", port);
        return;
    }

    MainWindow window;
    window.show();
    auto *box = window.findChild<QCheckBox *>("checkBox_hb");
    auto *panel = window.findChild<MyColorWidget *>();
    QElapsedTimer wait;
    wait.start();
    while (!box->isEnabled() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    box->setChecked(true);

    std::vector<double> with, without;
    int taken = 0;
    for (int round = 0; round < 4; ++round) {
        const bool withAgent = round % 2;
        // A relay as brimsel-tool makes it: the agent's port, or one where
        // nothing listens.
        AgentColorRelay relay(dir.filePath("none"), {withAgent ? port : TestPorts::freeTcp()});
        QObject::connect(&relay, &AgentColorRelay::taken, [&] { ++taken; });
        const auto connection = QObject::connect(&window, &MainWindow::colorUpdateRequested, &relay,
                                                 &AgentColorRelay::give);
        for (int i = 0; i < 300; ++i) {
            const QRgb color = qRgb((i * 37) % 256, (round * 60 + i) % 256, (i * 11) % 256);
            // The bus's log kept short: the wait below reads it.
            FakeHidBus::takeEvents();
            QElapsedTimer t;
            t.start();
            panel->setCurrentColor(QColor(color));
            while (FakeHidBus::lastColor(hb) != color && t.elapsed() < 2000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            (withAgent ? with : without).push_back(double(t.nsecsElapsed()) / 1e6);
            runFor(2); // the next colour with the window idle
        }
        QObject::disconnect(connection);
    }
    std::printf("window colour chain, panel to the handbrake's report, ms (%zu / %zu colours):\n",
                without.size(), with.size());
    std::printf("  no agent: p50 %.3f, p99 %.3f; agent running: p50 %.3f, p99 %.3f "
                "(%d colours taken by it; goal no slower)\n",
                quantile(without, 0.5), quantile(without, 0.99), quantile(with, 0.5),
                quantile(with, 0.99), taken);
    agent.terminate();
    agent.waitForFinished(5000);
}

long rssKb(qint64 pid)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double cpuMsOf(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // After the command's closing parenthesis: state is field 3, utime 14, stime 15.
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (f.value(11).toDouble() + f.value(12).toDouble()) * 1000.0 / sysconf(_SC_CLK_TCK);
}

// The real programs on the real hidapi (no accessories here), each in a
// home of its own.
void realPrograms()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") ||
        QStandardPaths::findExecutable("xdotool").isEmpty() ||
        !QSystemTrayIcon::isSystemTrayAvailable()) {
        std::printf("real programs: no X display with a system tray and xdotool; skipped "
                    "(tests/x11-tray.sh gives both)\n");
        return;
    }
    const auto environment = [](const QTemporaryDir &home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_STATE_HOME", home.filePath("state"));
        env.insert("XDG_RUNTIME_DIR", home.path());
        env.insert("QT_QPA_PLATFORM", "xcb");
        return env;
    };
    const auto iconShown = [] {
        QProcess search;
        search.start("xdotool", {"search", "--onlyvisible", "--classname", "brimsel-lights"});
        search.waitForFinished(5000);
        return search.exitStatus() == QProcess::NormalExit && search.exitCode() == 0;
    };
    std::vector<double> toIcon;
    for (int run = 0; run < 5; ++run) {
        QTemporaryDir home;
        QProcess lights;
        lights.setProcessEnvironment(environment(home));
        lights.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        lights.start(BRIMSEL_LIGHTS, QStringList());
        bool shown = false;
        while (!(shown = iconShown()) && t.elapsed() < 10000 &&
               lights.state() != QProcess::NotRunning)
            runFor(5);
        if (!shown) {
            std::printf("real programs: brimsel-lights showed no icon (status %d; its ports "
                        "taken?); skipped\n",
                        lights.exitCode());
            return;
        }
        toIcon.push_back(double(t.nsecsElapsed()) / 1e6);
        lights.terminate();
        lights.waitForFinished(5000);
    }
    std::printf("real programs, no accessories, no game:\n");
    std::printf("  brimsel-lights: process start to the icon shown in the tray, ms: median "
                "%.0f, max %.0f of %zu (goal under 1000)\n",
                median(toIcon), *std::max_element(toIcon.begin(), toIcon.end()), toIcon.size());

    // Idle, in turns; the kernel counts CPU time in 10 ms ticks, so each
    // turn is long.
    const int idleMs = 30000;
    const auto idle = [&](const QString &program, const QStringList &arguments, long *rss) {
        QTemporaryDir home;
        QProcess p;
        p.setProcessEnvironment(environment(home));
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(program, arguments);
        runFor(3000);
        *rss = rssKb(p.processId());
        const double cpu = cpuMsOf(p.processId());
        runFor(idleMs);
        const double perS = (cpuMsOf(p.processId()) - cpu) / (idleMs / 1000.0);
        p.terminate();
        p.waitForFinished(5000);
        return perS;
    };
    double lightsCpu = 0, ctlCpu = 0;
    long lightsRss = 0, ctlRss = 0;
    for (int turn = 0; turn < 2; ++turn) {
        const double l = idle(BRIMSEL_LIGHTS, {}, &lightsRss);
        const double c = idle(BRIMSEL_CTL, {"--openrgb", "--telemetry"}, &ctlRss);
        std::printf("  idle CPU, turn %d of %d s each, ms per s: brimsel-lights %.2f, "
                    "brimsel-ctl --openrgb --telemetry %.2f\n",
                    turn + 1, idleMs / 1000, l, c);
        lightsCpu += l;
        ctlCpu += c;
    }
    std::printf("  idle CPU over both turns: %.2fx (goal within 1.2x)\n",
                ctlCpu > 0 ? lightsCpu / ctlCpu : 0.0);
    std::printf("  memory (VmRSS): brimsel-lights %ld KiB, brimsel-ctl --openrgb --telemetry %ld "
                "KiB\n",
                lightsRss, ctlRss);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int hb =
        FakeHidBus::plug(AccessoryTable::HandbrakeProductId, FakeHidBus::ReadMode::Immediate);
    FakeHidBus::plug(AccessoryTable::SqShifterProductId, FakeHidBus::ReadMode::Immediate);
    FakeHidBus::plug(AccessoryTable::HShifterProductId, FakeHidBus::ReadMode::Immediate);
    idleCpu();
    windowChain(hb);
    realPrograms();
    return 0;
}
