// SPDX-License-Identifier: MIT
#include "fakehidbus.h"
#include "hidsession.h"
#include "reportsender.h"

#include <QtTest>

#include <hidapi.h>

using Call = FakeHidBus::Call;

class TestReportSender : public QObject
{
    Q_OBJECT
private slots:
    void init() { FakeHidBus::reset(); }
    void hangIsCutShortAndTheWriterServesOn();
};

void TestReportSender::hangIsCutShortAndTheWriterServesOn()
{
    const unsigned char report[4] = {0x02, 0xff, 0x80, 0x00};
    FakeHidBus::plug(0x3103, FakeHidBus::ReadMode::Immediate);
    HidSession::enter(); // as a worker would hold it
    ReportSender sender;
    hid_device *first = hid_open(0x1209, 0x3103, nullptr);
    QCOMPARE(sender.sendTwice(first, report, sizeof report, 50), ReportSender::Sent);

    FakeHidBus::delayWrites(400);
    QCOMPARE(sender.sendTwice(first, report, sizeof report, 50), ReportSender::TimedOut);
    QVERIFY(sender.busy());
    // Refused while it hangs; the caller keeps what it passed.
    QCOMPARE(sender.sendTwice(nullptr, report, sizeof report, 50), ReportSender::Failed);

    // Let go: the hung handle is closed with no second send, and the same
    // writer takes the next handle.
    QTRY_VERIFY_WITH_TIMEOUT(!sender.busy(), 5000);
    QCOMPARE(FakeHidBus::openHandles(), 0);
    QCOMPARE(FakeHidBus::count(Call::Write), 3);
    hid_device *second = hid_open(0x1209, 0x3103, nullptr);
    QCOMPARE(sender.sendTwice(second, report, sizeof report, 50), ReportSender::Sent);
    QCOMPARE(FakeHidBus::count(Call::Write), 5);
    hid_close(second);
    QCOMPARE(HidSession::users(), 1); // only ours: the writer holds no place while idle
    HidSession::leaveAndExit();
    QCOMPARE(FakeHidBus::count(Call::Exit), 1);
}

QTEST_GUILESS_MAIN(TestReportSender)
#include "test_reportsender.moc"
