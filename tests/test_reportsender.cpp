// SPDX-License-Identifier: MIT
#include "fakehidbus.h"
#include "hidsession.h"
#include "reportsender.h"

#include <QtTest>

#include <hidapi.h>

using Call = FakeHidBus::Call;
using Outcomes = ReportSender::Outcomes;

namespace {
const unsigned char kReport[4] = {0x02, 0xff, 0x80, 0x00};
}

class TestReportSender : public QObject
{
    Q_OBJECT
private slots:
    void init() { FakeHidBus::reset(); }
    void hangIsCutShortAndTheOthersAreServed();
};

void TestReportSender::hangIsCutShortAndTheOthersAreServed()
{
    FakeHidBus::plug(0x3103, FakeHidBus::ReadMode::Immediate);
    FakeHidBus::plug(0x3104, FakeHidBus::ReadMode::Immediate);
    HidSession::enter(); // as a worker would hold it
    ReportSender sender;
    hid_device *hb = hid_open(0x1209, 0x3103, nullptr);
    hid_device *h = hid_open(0x1209, 0x3104, nullptr);
    QCOMPARE(sender.sendTwice({hb, nullptr, h}, kReport, sizeof kReport, 50),
             (Outcomes{ReportSender::Sent, ReportSender::Skipped, ReportSender::Sent}));

    // The handbrake hangs: given up on after the bound, and the slot after
    // it still gets both its sends in the same request.
    FakeHidBus::delayWrites(400);
    QCOMPARE(sender.sendTwice({hb, nullptr, h}, kReport, sizeof kReport, 50),
             (Outcomes{ReportSender::TimedOut, ReportSender::Skipped, ReportSender::Sent}));
    QCOMPARE(FakeHidBus::count(Call::Write), 6);
    QVERIFY(sender.busy(0));
    QVERIFY(!sender.busy(2));
    // Skipped while it hangs; the caller no longer has its handle anyway.
    QCOMPARE(sender.sendTwice({hb, nullptr, nullptr}, kReport, sizeof kReport, 50)[0],
             ReportSender::Skipped);

    // Let go: the hung handle is closed with no second send, and the writer
    // leaves its place in hidapi.
    QTRY_VERIFY_WITH_TIMEOUT(!sender.busy(), 5000);
    QCOMPARE(FakeHidBus::openHandles(), 1);
    QCOMPARE(FakeHidBus::count(Call::Write), 7);
    QCOMPARE(HidSession::users(), 1);
    hid_device *again = hid_open(0x1209, 0x3103, nullptr);
    QCOMPARE(sender.sendTwice({again, nullptr, nullptr}, kReport, sizeof kReport, 50)[0],
             ReportSender::Sent);
    QCOMPARE(FakeHidBus::count(Call::Write), 9);
    hid_close(again);
    hid_close(h);
    HidSession::leaveAndExit();
    QCOMPARE(FakeHidBus::count(Call::Exit), 1);
}

QTEST_GUILESS_MAIN(TestReportSender)
#include "test_reportsender.moc"
