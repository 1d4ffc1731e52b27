// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QValidator>

#include "mycolorshower.h"
#include "paintspy.h"
#include "mycolorwidget.h"
#include "qcolorshowlabel.h"
#include "qcolspinbox.h"

namespace {

struct Rgb
{
    int r, g, b;
};

} // namespace

// The editor fields, tested inside the panel that owns them.
class TestMyColorShower : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void spinBoxRangeAndSilentWrites();
    void constructionDefaults();
    void layoutOfTheGrid();
    void shortHtmlColour();
    void upperCaseHtmlKeptUntilNextUpdate();
    void partialHtmlChangesNothing_data();
    void partialHtmlChangesNothing();
    void validatorRefusesWhatItMust_data();
    void validatorRefusesWhatItMust();
    void typingBeyondTheValidator();
    void greyThenSaturationGivesReddish();
    void setHsvAcceptsAchromaticHue();
    void setHsvOutOfRangeIgnored_data();
    void setHsvOutOfRangeIgnored();
    void setRgbEmitsOnlyOnRealChanges();
    void hiddenAlphaAlwaysOpaque();
    void shownAlphaCarriedThroughSignals();
    void swatchAlwaysOpaque();
    void editsRepaintSwatchBeforeNewCol();
    void dropOnSwatch();
    void garbageDropsIgnored();
    void htmlTextAfterEveryUpdate();
    void alphaVisibility();
    void outOfRangeAlphaClamped();
    void randomTextIntoHtmlField();
    void randomKeysIntoBoxes();

private:
    Rgb boxesRgb() const
    {
        return {shower->redEdit->value(), shower->greenEdit->value(), shower->blueEdit->value()};
    }
    void checkConsistent(const char *where);
    void dropOnSwatch(QMimeData *mime);

    MyColorWidget *panel = nullptr;
    MyColorShower *shower = nullptr;
};

void TestMyColorShower::initTestCase()
{
    qRegisterMetaType<QRgb>("QRgb"); // for the spies on newCol
}

void TestMyColorShower::init()
{
    panel = new MyColorWidget;
    shower = panel->findChild<MyColorShower *>();
    QVERIFY(shower);
}

void TestMyColorShower::cleanup()
{
    delete panel;
    panel = nullptr;
    shower = nullptr;
}

void TestMyColorShower::spinBoxRangeAndSilentWrites()
{
    QWidget parent;
    auto *box = new QColSpinBox(&parent);
    QCOMPARE(box->minimum(), 0);
    QCOMPARE(box->maximum(), 255);
    QCOMPARE(box->singleStep(), 1);
    QVERIFY(!box->wrapping());

    QSignalSpy changed(box, SIGNAL(valueChanged(int)));
    box->setValueSilently(300);
    QCOMPARE(box->value(), 255);
    box->setValueSilently(-4);
    QCOMPARE(box->value(), 0);
    box->setValueSilently(77);
    QCOMPARE(box->value(), 77);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!box->signalsBlocked());

    // A caller that had blocked the box keeps it blocked.
    box->blockSignals(true);
    box->setValueSilently(12);
    QVERIFY(box->signalsBlocked());
    box->blockSignals(false);

    // The user's own edits still emit.
    QTest::keyClick(box, Qt::Key_Up);
    QCOMPARE(box->value(), 13);
    QCOMPARE(changed.count(), 1);
}

void TestMyColorShower::constructionDefaults()
{
    // A fresh shower, before the panel has set any colour.
    auto *fresh = new MyColorShower(panel);
    QCOMPARE(fresh->owner, panel);
    QCOMPARE(fresh->parentWidget(), panel);
    QCOMPARE(fresh->currentRgb, 0xffffffffu);
    QCOMPARE(fresh->currentColor, QColor(Qt::white));
    for (QColSpinBox *box : {fresh->hueEdit, fresh->satEdit, fresh->valEdit, fresh->redEdit,
                             fresh->greenEdit, fresh->blueEdit, fresh->alphaEdit})
        QCOMPARE(box->value(), 0);
    QCOMPARE(fresh->hueEdit->maximum(), 359);
    for (QColSpinBox *box : {fresh->satEdit, fresh->valEdit, fresh->redEdit, fresh->greenEdit,
                             fresh->blueEdit, fresh->alphaEdit})
        QCOMPARE(box->maximum(), 255);
    QVERIFY(fresh->htmlEdit->text().isEmpty());
    QVERIFY(fresh->alphaEdit->isHidden());
    QVERIFY(fresh->alphaLabel->isHidden());
    QCOMPARE(fresh->swatch->minimumWidth(), 60);

    const QList<QPair<QLabel *, QWidget *>> captions = {
        {fresh->hueLabel, fresh->hueEdit},     {fresh->satLabel, fresh->satEdit},
        {fresh->valLabel, fresh->valEdit},     {fresh->redLabel, fresh->redEdit},
        {fresh->greenLabel, fresh->greenEdit}, {fresh->blueLabel, fresh->blueEdit},
        {fresh->alphaLabel, fresh->alphaEdit}, {fresh->htmlLabel, fresh->htmlEdit}};
    const QStringList texts = {
        "Hu&e:", "&Sat:", "&Val:", "&Red:", "&Green:", "Bl&ue:", "A&lpha channel:", "&HTML:"};
    for (int i = 0; i < captions.size(); ++i) {
        QCOMPARE(captions[i].first->text(), texts[i]);
        QCOMPARE(captions[i].first->buddy(), captions[i].second);
        QCOMPARE(captions[i].first->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    }
    QCOMPARE(fresh->htmlEdit->sizePolicy().horizontalPolicy(), QSizePolicy::Maximum);
    QCOMPARE(fresh->htmlEdit->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
}

void TestMyColorShower::layoutOfTheGrid()
{
    QGridLayout *grid = shower->grid;
    QCOMPARE(shower->layout(), grid);
    QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(grid->rowCount(), 6);
    QCOMPARE(grid->columnCount(), 5);

    struct Cell
    {
        QWidget *w;
        int row, column, rowSpan, columnSpan;
    };
    const int rows = grid->rowCount();
    const QList<Cell> cells = {
        {shower->swatch, 0, 0, rows, 1}, {shower->hueLabel, 0, 1, 1, 1},
        {shower->hueEdit, 0, 2, 1, 1},   {shower->satLabel, 1, 1, 1, 1},
        {shower->satEdit, 1, 2, 1, 1},   {shower->valLabel, 2, 1, 1, 1},
        {shower->valEdit, 2, 2, 1, 1},   {shower->redLabel, 0, 3, 1, 1},
        {shower->redEdit, 0, 4, 1, 1},   {shower->greenLabel, 1, 3, 1, 1},
        {shower->greenEdit, 1, 4, 1, 1}, {shower->blueLabel, 2, 3, 1, 1},
        {shower->blueEdit, 2, 4, 1, 1},  {shower->alphaLabel, 3, 1, 1, 3},
        {shower->alphaEdit, 3, 4, 1, 1}, {shower->htmlLabel, 5, 1, 1, 1},
        {shower->htmlEdit, 5, 2, 1, 3},
    };
    for (const Cell &c : cells) {
        const int index = grid->indexOf(c.w);
        QVERIFY(index >= 0);
        int row, column, rowSpan, columnSpan;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(row, c.row);
        QCOMPARE(column, c.column);
        QCOMPARE(rowSpan, c.rowSpan);
        QCOMPARE(columnSpan, c.columnSpan);
        QCOMPARE(grid->itemAt(index)->alignment(), Qt::Alignment());
    }
    QCOMPARE(grid->count(), cells.size());
}

void TestMyColorShower::shortHtmlColour()
{
    QSignalSpy newCol(shower, SIGNAL(newCol(QRgb)));
    QSignalSpy changed(shower, SIGNAL(currentColorChanged(QColor)));

    shower->htmlEdit->selectAll();
    QTest::keyClicks(shower->htmlEdit, "#abc");

    QCOMPARE(shower->htmlEdit->text(), QString("#abc"));
    QCOMPARE(shower->redEdit->value(), 170);
    QCOMPARE(shower->greenEdit->value(), 187);
    QCOMPARE(shower->blueEdit->value(), 204);
    int h, s, v;
    QColor(170, 187, 204).getHsv(&h, &s, &v);
    QCOMPARE(shower->hueEdit->value(), h);
    QCOMPARE(shower->satEdit->value(), s);
    QCOMPARE(shower->valEdit->value(), v);

    // "#", "#a" and "#ab" named nothing; only the last key made a colour.
    QCOMPARE(newCol.count(), 1);
    QCOMPARE(newCol.at(0).at(0).value<QRgb>(), qRgb(170, 187, 204));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QColor>(), QColor(170, 187, 204));
    QCOMPARE(shower->currentColor, QColor(170, 187, 204));
}

void TestMyColorShower::upperCaseHtmlKeptUntilNextUpdate()
{
    shower->htmlEdit->selectAll();
    QTest::keyClicks(shower->htmlEdit, "#ABCDEF");
    QCOMPARE(shower->htmlEdit->text(), QString("#ABCDEF"));
    QCOMPARE(shower->currentColor, QColor(0xab, 0xcd, 0xef));

    // A box edit rewrites the field in lower case.
    shower->blueEdit->setValue(0xee);
    QCOMPARE(shower->htmlEdit->text(), QString("#abcdee"));
}

void TestMyColorShower::partialHtmlChangesNothing_data()
{
    QTest::addColumn<int>("backspaces");
    QTest::addColumn<QString>("left");
    QTest::newRow("#ab") << 1 << "#ab";
    QTest::newRow("#") << 3 << "#";
    QTest::newRow("empty") << 4 << "";
}

void TestMyColorShower::partialHtmlChangesNothing()
{
    QFETCH(int, backspaces);
    QFETCH(QString, left);

    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    shower->htmlEdit->selectAll();
    QTest::keyClicks(shower->htmlEdit, "#abc");
    const Rgb before = boxesRgb();
    const QColor colourBefore = shower->currentColor;

    QSignalSpy newCol(shower, SIGNAL(newCol(QRgb)));
    QSignalSpy changed(shower, SIGNAL(currentColorChanged(QColor)));
    PaintSpy swatchPaints(shower->swatch);
    for (int i = 0; i < backspaces; ++i)
        QTest::keyClick(shower->htmlEdit, Qt::Key_Backspace);

    QCOMPARE(shower->htmlEdit->text(), left);
    QCOMPARE(boxesRgb().r, before.r);
    QCOMPARE(boxesRgb().g, before.g);
    QCOMPARE(boxesRgb().b, before.b);
    QCOMPARE(shower->currentColor, colourBefore);
    QCOMPARE(newCol.count(), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(swatchPaints.count(), 0);
}

void TestMyColorShower::validatorRefusesWhatItMust_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");
    const int ok = QValidator::Acceptable, part = QValidator::Intermediate,
              bad = QValidator::Invalid;
    QTest::newRow("empty") << "" << part;
    QTest::newRow("hash") << "#" << part;
    QTest::newRow("1 digit") << "#a" << part;
    QTest::newRow("2 digits") << "#aB" << part;
    QTest::newRow("3 digits") << "#aB9" << ok;
    QTest::newRow("4 digits") << "#aB90" << part;
    QTest::newRow("5 digits") << "#aB90f" << part;
    QTest::newRow("6 digits") << "#aB90fE" << ok;
    QTest::newRow("7 digits") << "#aB90fE1" << bad;
    QTest::newRow("no hash") << "abc" << bad;
    QTest::newRow("digit first") << "1#abc" << bad;
    QTest::newRow("not hex") << "#abg" << bad;
    QTest::newRow("two hashes") << "##" << bad;
    QTest::newRow("space") << "# abc" << bad;
    QTest::newRow("name") << "red" << bad;
}

void TestMyColorShower::validatorRefusesWhatItMust()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    const QValidator *validator = shower->htmlEdit->validator();
    QVERIFY(validator);
    int pos = text.size();
    QCOMPARE(int(validator->validate(text, pos)), state);
}

void TestMyColorShower::typingBeyondTheValidator()
{
    shower->htmlEdit->clear();
    QTest::keyClicks(shower->htmlEdit, "x#1z2 34567g8");
    QCOMPARE(shower->htmlEdit->text(), QString("#123456"));
    QCOMPARE(shower->currentColor, QColor(0x12, 0x34, 0x56));
}

void TestMyColorShower::greyThenSaturationGivesReddish()
{
    shower->redEdit->setValue(128);
    shower->greenEdit->setValue(128);
    shower->blueEdit->setValue(128);
    QCOMPARE(shower->hueEdit->value(), 0);
    QCOMPARE(shower->satEdit->value(), 0);
    QCOMPARE(shower->valEdit->value(), 128);
    QCOMPARE(shower->hue, -1);

    QSignalSpy changed(shower, SIGNAL(currentColorChanged(QColor)));
    for (int s : {40, 120, 255}) {
        shower->satEdit->setValue(s);
        const QColor c = shower->currentColor;
        QVERIFY2(c.red() > c.green() && c.green() == c.blue(), qPrintable(c.name()));
        QCOMPARE(c, QColor(QColor::fromHsv(0, s, 128).rgb()));
    }
    QCOMPARE(changed.count(), 3);
}

void TestMyColorShower::setHsvAcceptsAchromaticHue()
{
    QSignalSpy newCol(shower, SIGNAL(newCol(QRgb)));
    QSignalSpy changed(shower, SIGNAL(currentColorChanged(QColor)));
    shower->setHsv(-1, 0, 200);
    QCOMPARE(shower->hue, -1);
    QCOMPARE(shower->hueEdit->value(), 0);
    QCOMPARE(shower->valEdit->value(), 200);
    QCOMPARE(boxesRgb().r, 200);
    QCOMPARE(boxesRgb().g, 200);
    QCOMPARE(boxesRgb().b, 200);
    QCOMPARE(shower->currentColor, QColor(200, 200, 200));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(newCol.count(), 0);

    shower->setHsv(240, 255, 255);
    QCOMPARE(shower->currentColor, QColor(0, 0, 255));
    QCOMPARE(shower->hueEdit->value(), 240);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(newCol.count(), 0);
}

void TestMyColorShower::setHsvOutOfRangeIgnored_data()
{
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("s");
    QTest::addColumn<int>("v");
    QTest::newRow("hue -2") << -2 << 0 << 0;
    QTest::newRow("sat 256") << 0 << 256 << 0;
    QTest::newRow("sat -1") << 0 << -1 << 0;
    QTest::newRow("val 300") << 0 << 0 << 300;
    QTest::newRow("val -1") << 10 << 10 << -1;
    // The hue box stops at 359; a larger hue would put the boxes and the
    // colour out of step.
    QTest::newRow("hue 360") << 360 << 255 << 255;
    QTest::newRow("hue 400") << 400 << 255 << 255;
}

void TestMyColorShower::setHsvOutOfRangeIgnored()
{
    QFETCH(int, h);
    QFETCH(int, s);
    QFETCH(int, v);
    shower->setRgb(qRgb(10, 100, 30));
    QSignalSpy newCol(shower, SIGNAL(newCol(QRgb)));
    QSignalSpy changed(shower, SIGNAL(currentColorChanged(QColor)));
    const int hueBox = shower->hueEdit->value();

    shower->setHsv(h, s, v);
    QCOMPARE(shower->currentColor, QColor(10, 100, 30));
    QCOMPARE(shower->currentRgb, qRgb(10, 100, 30));
    QCOMPARE(shower->hueEdit->value(), hueBox);
    QCOMPARE(shower->greenEdit->value(), 100);
    QCOMPARE(shower->htmlEdit->text(), QString("#0a641e"));
    QCOMPARE(newCol.count(), 0);
    QCOMPARE(changed.count(), 0);
}

void TestMyColorShower::setRgbEmitsOnlyOnRealChanges()
{
    auto *fresh = new MyColorShower(panel);
    QSignalSpy freshChanged(fresh, SIGNAL(currentColorChanged(QColor)));
    fresh->setRgb(0xffffffff);
    QCOMPARE(freshChanged.count(), 0);
    QCOMPARE(fresh->htmlEdit->text(), QString("#ffffff"));

    QSignalSpy newCol(shower, SIGNAL(newCol(QRgb)));
    QSignalSpy changed(shower, SIGNAL(currentColorChanged(QColor)));
    shower->setRgb(qRgb(1, 2, 3));
    shower->setRgb(qRgb(1, 2, 3));
    QCOMPARE(changed.count(), 1);
    // The alpha byte of the packed value plays no part while alpha is hidden.
    shower->setRgb(qRgba(1, 2, 3, 7));
    QCOMPARE(changed.count(), 1);
    shower->setRgb(qRgb(1, 2, 4));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).value<QColor>(), QColor(1, 2, 4));
    QCOMPARE(newCol.count(), 0);
}

void TestMyColorShower::hiddenAlphaAlwaysOpaque()
{
    shower->alphaEdit->setValue(50);
    QCOMPARE(shower->currentColor.alpha(), 255);
    shower->setRgb(qRgba(0x12, 0x34, 0x56, 0));
    QCOMPARE(shower->currentColor, QColor(0x12, 0x34, 0x56, 255));
    shower->greenEdit->setValue(9);
    QCOMPARE(shower->currentColor, QColor(0x12, 9, 0x56, 255));
    shower->setAlpha(3);
    QCOMPARE(shower->currentColor.alpha(), 255);
    QCOMPARE(shower->currentColor.spec(), QColor::Rgb);
}

void TestMyColorShower::shownAlphaCarriedThroughSignals()
{
    panel->setOption(MyColorWidget::ShowAlphaChannel);
    shower->setRgb(qRgb(10, 20, 30));
    shower->setAlpha(128);
    QCOMPARE(shower->currentColor, QColor(10, 20, 30, 128));

    QStringList order;
    connect(shower, &MyColorShower::newCol, this,
            [&](QRgb rgb) { order << QString("newCol %1").arg(rgb, 8, 16, QChar('0')); });
    connect(shower, &MyColorShower::currentColorChanged, this, [&](const QColor &c) {
        order << QString("changed %1").arg(c.rgba(), 8, 16, QChar('0'));
    });

    shower->greenEdit->setValue(21);
    QCOMPARE(order, QStringList({"newCol 800a151e", "changed 800a151e"}));

    order.clear();
    shower->alphaEdit->setValue(200);
    QCOMPARE(order, QStringList({"newCol c80a151e", "changed c80a151e"}));
    QCOMPARE(shower->currentColor.alpha(), 200);

    // The HTML field never shows alpha.
    QCOMPARE(shower->htmlEdit->text(), QString("#0a151e"));

    // Hiding the row again makes the next edit opaque.
    order.clear();
    panel->setOption(MyColorWidget::ShowAlphaChannel, false);
    QVERIFY(order.isEmpty());
    shower->redEdit->setValue(11);
    QCOMPARE(order, QStringList({"newCol ff0b151e", "changed ff0b151e"}));
}

void TestMyColorShower::swatchAlwaysOpaque()
{
    panel->setOption(MyColorWidget::ShowAlphaChannel);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    shower->setRgb(qRgb(40, 160, 90));
    shower->setAlpha(0);
    QCOMPARE(shower->currentColor.alpha(), 0);

    const QImage image = shower->swatch->grab().toImage();
    const QRgb middle = image.pixel(image.width() / 2, image.height() / 2);
    QCOMPARE(qRed(middle), 40);
    QCOMPARE(qGreen(middle), 160);
    QCOMPARE(qBlue(middle), 90);
}

void TestMyColorShower::editsRepaintSwatchBeforeNewCol()
{
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    PaintSpy swatchPaints(shower->swatch);
    QList<int> paintsAtNewCol;
    connect(shower, &MyColorShower::newCol, this, [&] { paintsAtNewCol << swatchPaints.count(); });

    shower->redEdit->setValue(3);   // rgbEd
    shower->satEdit->setValue(200); // hsvEd
    shower->htmlEdit->selectAll();
    QTest::keyClicks(shower->htmlEdit, "#123"); // htmlEd, once complete
    QCOMPARE(paintsAtNewCol, QList<int>({1, 2, 3}));

    shower->setRgb(qRgb(9, 9, 9));
    QCOMPARE(swatchPaints.count(), 4);
}

void TestMyColorShower::dropOnSwatch(QMimeData *mime)
{
    const QPoint centre = shower->swatch->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(shower->swatch, &enter);
    QDropEvent drop(centre, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(shower->swatch, &drop);
}

void TestMyColorShower::dropOnSwatch()
{
    shower->setRgb(qRgb(1, 1, 1));
    QList<Rgb> boxesAtNewCol;
    QStringList order;
    connect(shower, &MyColorShower::newCol, this, [&](QRgb rgb) {
        boxesAtNewCol << boxesRgb();
        order << QString("newCol %1").arg(rgb, 8, 16);
    });
    connect(shower, &MyColorShower::currentColorChanged, this,
            [&](const QColor &c) { order << "changed " + c.name(); });

    QMimeData mime;
    mime.setColorData(QColor(200, 100, 50, 128));
    dropOnSwatch(&mime);

    QCOMPARE(order, QStringList({"newCol ffc86432", "changed #c86432"}));
    QCOMPARE(boxesAtNewCol.size(), 1);
    QCOMPARE(boxesAtNewCol[0].r, 1); // newCol came before any box changed
    QCOMPARE(boxesRgb().r, 200);
    QCOMPARE(boxesRgb().g, 100);
    QCOMPARE(boxesRgb().b, 50);
    int h, s, v;
    QColor(200, 100, 50).getHsv(&h, &s, &v);
    QCOMPARE(shower->hueEdit->value(), h);
    QCOMPARE(shower->satEdit->value(), s);
    QCOMPARE(shower->valEdit->value(), v);
    QCOMPARE(shower->htmlEdit->text(), QString("#c86432"));
    QCOMPARE(shower->currentColor, QColor(200, 100, 50));

    // The same colour again: newCol once more, but no change to report.
    order.clear();
    dropOnSwatch(&mime);
    QCOMPARE(order, QStringList({"newCol ffc86432"}));
}

void TestMyColorShower::garbageDropsIgnored()
{
    shower->setRgb(qRgb(5, 6, 7));
    QSignalSpy newCol(shower, SIGNAL(newCol(QRgb)));
    QSignalSpy changed(shower, SIGNAL(currentColorChanged(QColor)));

    QMimeData text;
    text.setText("not a colour");
    QMimeData invalid;
    invalid.setColorData(QColor());
    QMimeData word;
    word.setColorData(QString("nonsense"));
    QMimeData number;
    number.setColorData(12345);
    QMimeData bytes;
    bytes.setData("application/x-color", QByteArray("\xff\x00garbage", 9));
    QMimeData empty;
    for (QMimeData *mime : {&text, &invalid, &word, &number, &bytes, &empty})
        dropOnSwatch(mime);

    QCOMPARE(newCol.count(), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(shower->currentColor, QColor(5, 6, 7));
    QCOMPARE(boxesRgb().b, 7);
}

void TestMyColorShower::htmlTextAfterEveryUpdate()
{
    const QRegularExpression sevenChars("^#[0-9a-f]{6}$");
    auto check = [&](const char *what) {
        QVERIFY2(sevenChars.match(shower->htmlEdit->text()).hasMatch(),
                 qPrintable(QString(what) + ": " + shower->htmlEdit->text()));
        QCOMPARE(shower->htmlEdit->text(), QColor(shower->currentRgb).name());
    };
    shower->htmlEdit->setText("#ABC");
    shower->setRgb(qRgb(0xab, 0xcd, 0xef));
    check("setRgb");
    shower->htmlEdit->setText("#ABC");
    shower->setHsv(10, 20, 30);
    check("setHsv");
    shower->htmlEdit->setText("#ABC");
    shower->valEdit->setValue(31);
    check("hsvEd");
    shower->htmlEdit->setText("#ABC");
    shower->blueEdit->setValue(255);
    check("rgbEd");
}

void TestMyColorShower::alphaVisibility()
{
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    QVERIFY(!shower->alphaEdit->isVisible());
    QVERIFY(!shower->alphaLabel->isVisible());

    shower->setRgb(qRgb(50, 60, 70));
    QSignalSpy newCol(shower, SIGNAL(newCol(QRgb)));
    QSignalSpy changed(shower, SIGNAL(currentColorChanged(QColor)));
    const int alpha = shower->alphaEdit->value();

    shower->setAlphaVisible(true);
    QVERIFY(shower->alphaEdit->isVisible());
    QVERIFY(shower->alphaLabel->isVisible());
    QTRY_VERIFY(shower->alphaEdit->geometry().top() > shower->valEdit->geometry().bottom());
    QVERIFY(shower->alphaEdit->geometry().bottom() < shower->htmlEdit->geometry().top());

    shower->setAlphaVisible(false);
    QVERIFY(!shower->alphaEdit->isVisible());
    QVERIFY(!shower->alphaLabel->isVisible());
    QCOMPARE(shower->alphaEdit->value(), alpha);
    QCOMPARE(shower->currentColor, QColor(50, 60, 70));
    QCOMPARE(newCol.count(), 0);
    QCOMPARE(changed.count(), 0);
}

void TestMyColorShower::outOfRangeAlphaClamped()
{
    panel->setOption(MyColorWidget::ShowAlphaChannel);
    shower->setAlpha(-20);
    QCOMPARE(shower->alphaEdit->value(), 0);
    QCOMPARE(shower->currentColor.alpha(), 0);
    shower->setAlpha(1000);
    QCOMPARE(shower->alphaEdit->value(), 255);
    QCOMPARE(shower->currentColor.alpha(), 255);
}

// Whatever state the last operation left, the views agree with the colour.
void TestMyColorShower::checkConsistent(const char *where)
{
    const QRgb rgb = shower->currentRgb;
    QVERIFY2(boxesRgb().r == qRed(rgb) && boxesRgb().g == qGreen(rgb) && boxesRgb().b == qBlue(rgb),
             where);
    QVERIFY2(shower->currentColor == QColor(qRed(rgb), qGreen(rgb), qBlue(rgb)), where);
    for (QColSpinBox *box : {shower->hueEdit, shower->satEdit, shower->valEdit, shower->redEdit,
                             shower->greenEdit, shower->blueEdit})
        QVERIFY2(box->value() >= box->minimum() && box->value() <= box->maximum(), where);
}

void TestMyColorShower::randomTextIntoHtmlField()
{
    QRandomGenerator random(4711);
    const QString alphabet = "#0123456789abcdefABCDEFghxyzGZ #!-\t";
    QList<QColor> emitted;
    connect(shower, &MyColorShower::currentColorChanged, this,
            [&](const QColor &c) { emitted << c; });
    const QValidator *validator = shower->htmlEdit->validator();

    for (int round = 0; round < 300; ++round) {
        if (random.bounded(4) == 0)
            shower->htmlEdit->selectAll();
        const int n = random.bounded(1, 9);
        for (int i = 0; i < n; ++i) {
            if (random.bounded(6) == 0)
                QTest::keyClick(shower->htmlEdit, Qt::Key_Backspace);
            else
                QTest::keyClicks(shower->htmlEdit,
                                 QString(alphabet.at(random.bounded(alphabet.size()))));
        }
        QString text = shower->htmlEdit->text();
        int pos = text.size();
        QVERIFY2(validator->validate(text, pos) != QValidator::Invalid, qPrintable(text));
        QVERIFY(text.size() <= 7);
        checkConsistent(qPrintable(text));
        // A complete text is what the colour shows.
        if (text.size() == 4 || text.size() == 7)
            QCOMPARE(shower->currentColor, QColor(text));
    }
    QVERIFY(!emitted.isEmpty());
    for (int i = 1; i < emitted.size(); ++i)
        QVERIFY(emitted[i] != emitted[i - 1]);
    QCOMPARE(emitted.last(), shower->currentColor);
}

void TestMyColorShower::randomKeysIntoBoxes()
{
    QRandomGenerator random(1234);
    const QList<QColSpinBox *> boxes = {shower->hueEdit, shower->satEdit,   shower->valEdit,
                                        shower->redEdit, shower->greenEdit, shower->blueEdit};
    const QList<Qt::Key> keys = {
        Qt::Key_0,     Qt::Key_1,        Qt::Key_5,         Qt::Key_9,
        Qt::Key_Minus, Qt::Key_Up,       Qt::Key_Down,      Qt::Key_PageUp,
        Qt::Key_A,     Qt::Key_PageDown, Qt::Key_Backspace, Qt::Key_Delete,
        Qt::Key_Home,  Qt::Key_End,      Qt::Key_Return,    Qt::Key_Period};
    QList<QColor> emitted;
    connect(shower, &MyColorShower::currentColorChanged, this,
            [&](const QColor &c) { emitted << c; });

    for (int round = 0; round < 1500; ++round) {
        QColSpinBox *box = boxes.at(random.bounded(boxes.size()));
        QTest::keyClick(box, keys.at(random.bounded(keys.size())));
        checkConsistent("after a key");
        QCOMPARE(shower->htmlEdit->text(), QColor(shower->currentRgb).name());
    }
    QVERIFY(!emitted.isEmpty());
    for (int i = 1; i < emitted.size(); ++i)
        QVERIFY(emitted[i] != emitted[i - 1]);
    QCOMPARE(emitted.last(), shower->currentColor);
}

QTEST_MAIN(TestMyColorShower)
#include "test_mycolorshower.moc"
