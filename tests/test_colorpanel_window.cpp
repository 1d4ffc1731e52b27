// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QCheckBox>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "fakehidbus.h"
#include "hidworker.h"
#include "mainwindow.h"
#include "mousedragger.h"
#include "mycolorluminancepicker.h"
#include "mycolorpicker.h"
#include "mycolorshower.h"
#include "mycolorwidget.h"
#include "qcolorshowlabel.h"
#include "qcolspinbox.h"

using Call = FakeHidBus::Call;

namespace {

constexpr unsigned short Handbrake = 0x3103;
constexpr unsigned short SqShifter = 0x3102;
constexpr unsigned short HShifter = 0x3104;

QByteArray reportOf(const QColor &c)
{
    QByteArray bytes(4, 0);
    bytes[0] = 0x02;
    bytes[1] = char(c.red());
    bytes[2] = char(c.blue());
    bytes[3] = char(c.green());
    return bytes;
}

QByteArray lastReport()
{
    const QVector<FakeHidBus::Event> writes = FakeHidBus::events(Call::Write);
    return writes.isEmpty() ? QByteArray() : writes.last().bytes;
}

} // namespace

// The colour panel in the real window, with the real worker thread and
// stand-in accessories: every way of choosing a colour ends as report bytes.
class TestColorPanelWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowHoldsThePanelAtFixedSize();
    void startUpSendsNothing();
    void pressAndDragInField();
    void dragInValueStrip();
    void typedHtmlColour();
    void editedSpinBoxes();
    void colourDroppedOnSwatch();
    void dragKeepingTheColourSendsNothing();
    void burstIsCoalesced_data();
    void burstIsCoalesced();

private:
    QPoint fieldPoint(int x, int y) const
    {
        const int f = picker->frameWidth();
        return QPoint(x + f, y + f);
    }
    // Waits for the reports of one request (two writes to each ticked
    // accessory) and checks that they carry the colour.
    void expectSent(const QColor &colour);
    // For edits that change the colour on the way (typing): the last
    // request carries the final colour.
    void expectFinallySent(const QColor &colour);
    void expectNothingMoreSent();

    MainWindow *window = nullptr;
    MyColorWidget *panel = nullptr;
    MyColorPicker *picker = nullptr;
    MyColorLuminancePicker *strip = nullptr;
    MyColorShower *shower = nullptr;
    int writesSeen = 0;
};

void TestColorPanelWindow::init()
{
    FakeHidBus::reset();
    FakeHidBus::plug(Handbrake, FakeHidBus::ReadMode::Immediate);
    FakeHidBus::plug(SqShifter, FakeHidBus::ReadMode::Immediate);
    FakeHidBus::plug(HShifter, FakeHidBus::ReadMode::Immediate);
    writesSeen = 0;

    window = new MainWindow;
    panel = window->findChild<MyColorWidget *>();
    QVERIFY(panel);
    picker = panel->findChild<MyColorPicker *>();
    strip = panel->findChild<MyColorLuminancePicker *>();
    shower = panel->findChild<MyColorShower *>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    auto *hb = window->findChild<QCheckBox *>("checkBox_hb");
    auto *h = window->findChild<QCheckBox *>("checkBox_h");
    QVERIFY(hb && h);
    QTRY_VERIFY(hb->isEnabled() && h->isEnabled());
    QTest::mouseClick(hb, Qt::LeftButton);
    QTest::mouseClick(h, Qt::LeftButton);
    QVERIFY(hb->isChecked() && h->isChecked());
}

void TestColorPanelWindow::cleanup()
{
    delete window;
    window = nullptr;
}

void TestColorPanelWindow::expectSent(const QColor &colour)
{
    writesSeen += 4;
    QVERIFY2(FakeHidBus::waitFor(Call::Write, writesSeen), "no report arrived");
    const QVector<FakeHidBus::Event> writes = FakeHidBus::events(Call::Write);
    QCOMPARE(writes.size(), writesSeen);
    QList<unsigned short> products;
    for (int i = writesSeen - 4; i < writesSeen; ++i) {
        QCOMPARE(writes[i].bytes, reportOf(colour));
        products << writes[i].productId;
    }
    QCOMPARE(products, QList<unsigned short>({Handbrake, Handbrake, HShifter, HShifter}));
}

void TestColorPanelWindow::expectFinallySent(const QColor &colour)
{
    QTRY_COMPARE(lastReport(), reportOf(colour));
    QTest::qWait(200); // nothing else is on its way
    const QVector<FakeHidBus::Event> writes = FakeHidBus::events(Call::Write);
    QCOMPARE(writes.size() % 4, 0);
    QVERIFY(writes.size() > writesSeen);
    writesSeen = writes.size() - 4;
    expectSent(colour);
}

void TestColorPanelWindow::expectNothingMoreSent()
{
    QTest::qWait(300);
    QCOMPARE(FakeHidBus::count(Call::Write), writesSeen);
}

void TestColorPanelWindow::windowHoldsThePanelAtFixedSize()
{
    auto *right = window->findChild<QVBoxLayout *>("rightLayout");
    QVERIFY(right);
    QCOMPARE(right->count(), 1);
    QCOMPARE(right->itemAt(0)->widget(), panel);
    QCOMPARE(panel->parentWidget(), window->centralWidget());

    QCOMPARE(window->layout()->sizeConstraint(), QLayout::SetFixedSize);
    const QSize fixed = window->size();
    QCOMPARE(window->minimumSize(), fixed);
    QCOMPARE(window->maximumSize(), fixed);
    window->resize(fixed + QSize(200, 100));
    QCoreApplication::processEvents();
    QCOMPARE(window->size(), fixed);

    // Both columns fit side by side.
    auto *hb = window->findChild<QCheckBox *>("checkBox_hb");
    const QRect panelRect(panel->mapTo(window, QPoint()), panel->size());
    const QRect boxRect(hb->mapTo(window, QPoint()), hb->size());
    QVERIFY(boxRect.right() < panelRect.left());
    QVERIFY(window->rect().contains(panelRect));
    QCOMPARE(panel->size(), panel->sizeHint());
}

void TestColorPanelWindow::startUpSendsNothing()
{
    // The worker has polled (the boxes came on) and the boxes are ticked,
    // yet the panel's starting colour went nowhere.
    QTest::qWait(300);
    QCOMPARE(FakeHidBus::count(Call::Write), 0);

    // The first change after start is the first report.
    shower->redEdit->setValue(254);
    expectSent(QColor(254, 255, 255));
}

void TestColorPanelWindow::pressAndDragInField()
{
    MouseDragger mouse(picker);
    mouse.press(fieldPoint(110, 100));
    expectSent(QColor::fromHsv(180, 127, 255));
    mouse.moveTo(fieldPoint(219, 0));
    expectSent(QColor(255, 0, 0));
    mouse.moveTo(fieldPoint(73, 0));
    mouse.release(fieldPoint(73, 0));
    expectSent(QColor::fromHsv(240, 255, 255));
    expectNothingMoreSent();
}

void TestColorPanelWindow::dragInValueStrip()
{
    MouseDragger(picker).press(fieldPoint(219, 0)); // red
    expectSent(QColor(255, 0, 0));

    MouseDragger mouse(strip);
    mouse.press(QPoint(10, strip->height() - 5));
    expectSent(QColor(0, 0, 0));
    const int middle = strip->height() / 2;
    mouse.moveTo(QPoint(10, middle));
    mouse.release(QPoint(10, middle));
    const int v = shower->valEdit->value();
    QVERIFY(v > 0 && v < 255);
    expectSent(QColor::fromHsv(0, 255, v));
}

void TestColorPanelWindow::typedHtmlColour()
{
    shower->htmlEdit->selectAll();
    QTest::keyClicks(shower->htmlEdit, "#123456"); // "#123" on the way is a colour too
    expectFinallySent(QColor(0x12, 0x34, 0x56));
    QCOMPARE(lastReport(), QByteArray("\x02\x12\x56\x34", 4));

    // Half a colour sends nothing.
    QTest::keyClick(shower->htmlEdit, Qt::Key_Backspace);
    expectNothingMoreSent();
}

void TestColorPanelWindow::editedSpinBoxes()
{
    // One step in a box is one edit.
    shower->redEdit->setFocus();
    QTest::keyClick(shower->redEdit, Qt::Key_Down);
    expectSent(QColor(254, 255, 255));
    QTest::keyClick(shower->valEdit, Qt::Key_PageDown);
    expectSent(QColor::fromHsv(shower->hueEdit->value(), shower->satEdit->value(),
                               shower->valEdit->value()));

    // Typing a number edits on every key; the last value is what arrives.
    shower->greenEdit->selectAll();
    QTest::keyClicks(shower->greenEdit, "17");
    const QColor typed = panel->currentColor();
    QCOMPARE(typed.green(), 17);
    expectFinallySent(typed);
}

void TestColorPanelWindow::colourDroppedOnSwatch()
{
    QMimeData mime;
    mime.setColorData(QColor(10, 200, 30));
    const QPoint centre = shower->swatch->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(shower->swatch, &enter);
    QDropEvent drop(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(shower->swatch, &drop);
    expectSent(QColor(10, 200, 30));

    QMimeData junk;
    junk.setText("#ff0000");
    QDropEvent badDrop(centre, Qt::CopyAction, &junk, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(shower->swatch, &badDrop);
    expectNothingMoreSent();
}

void TestColorPanelWindow::dragKeepingTheColourSendsNothing()
{
    MouseDragger mouse(picker);
    mouse.press(fieldPoint(-5, -5));
    expectSent(QColor::fromHsv(359, 255, 255));
    for (QPoint p : {QPoint(-5, -5), QPoint(0, 0), QPoint(1, 0), QPoint(-30, -2)})
        mouse.moveTo(fieldPoint(p.x(), p.y()));
    mouse.release(fieldPoint(-30, -2));
    expectNothingMoreSent();
}

void TestColorPanelWindow::burstIsCoalesced_data()
{
    QTest::addColumn<bool>("eventsBetween");
    QTest::newRow("in one go") << false;
    QTest::newRow("events between") << true;
}

void TestColorPanelWindow::burstIsCoalesced()
{
    QFETCH(bool, eventsBetween);
    QSignalSpy requests(window, SIGNAL(colorUpdateRequested(QColor, HidWorker::Device)));
    // When a request leaves, the one before it has been written in full:
    // never more than one request is with the worker.
    QList<int> writesAtRequest;
    connect(window, &MainWindow::colorUpdateRequested, this,
            [&] { writesAtRequest << FakeHidBus::count(Call::Write); });

    MouseDragger mouse(picker);
    mouse.press(fieldPoint(0, 100));
    for (int i = 1; i <= 1000; ++i) {
        mouse.moveTo(fieldPoint(i % 220, 100 + (i / 220) * 20));
        if (eventsBetween)
            QCoreApplication::processEvents();
    }
    mouse.release(fieldPoint(0, 0));
    const QColor last = panel->currentColor();

    QTRY_COMPARE(lastReport(), reportOf(last));
    QTest::qWait(300);
    QCOMPARE(lastReport(), reportOf(last));
    const int n = requests.count();
    QCOMPARE(FakeHidBus::count(Call::Write), 4 * n);
    for (int k = 0; k < writesAtRequest.size(); ++k)
        QVERIFY2(writesAtRequest[k] >= 4 * k, qPrintable(QString::number(k)));
    QCOMPARE(requests.last().at(0).value<QColor>(), last);
    if (!eventsBetween)
        QCOMPARE(n, 2); // the first colour, then the last one kept pending
    else
        QVERIFY(n >= 2 && n <= 1001);
    qInfo("%d requests for 1000 colour changes", n);
}

QTEST_MAIN(TestColorPanelWindow)
#include "test_colorpanel_window.moc"
