// SPDX-License-Identifier: MIT
#include "mycolorwidget.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGridLayout>
#include <QMetaType>

#include "mycolorluminancepicker.h"
#include "mycolorpicker.h"
#include "mycolorshower.h"

class MyColorWidgetPrivate
{
public:
    explicit MyColorWidgetPrivate(MyColorWidget *owner) : widget(owner) {}

    void build();
    void moveFieldAndStrip(QRgb rgb);

    MyColorWidget *widget;
    MyColorPicker *picker = nullptr;
    MyColorLuminancePicker *lumPicker = nullptr;
    MyColorShower *shower = nullptr;
    MyColorWidget::MyColorWidgetOptions optionSet;
};

namespace {

// The options property is a QFlags typedef, which the meta-object system only
// knows by the name moc wrote down; register that name and int conversions so
// that QMetaProperty::read/write and setProperty(int) reach the accessors.
void registerOptionTypes()
{
    static const bool registered = [] {
        using Options = MyColorWidget::MyColorWidgetOptions;
        qRegisterMetaType<Options>("MyColorWidget::MyColorWidgetOptions");
        qRegisterMetaType<Options>("MyColorWidgetOptions");
        QMetaType::registerConverter<Options, int>([](Options o) { return int(o); });
        QMetaType::registerConverter<int, Options>([](int i) { return Options(QFlag(i)); });
        return true;
    }();
    Q_UNUSED(registered)
}

} // namespace

void MyColorWidgetPrivate::build()
{
    auto *topLayout = new QVBoxLayout(widget);
    topLayout->setSizeConstraint(QLayout::SetFixedSize);

    auto *mainColumn = new QVBoxLayout;
    topLayout->addLayout(mainColumn);

    auto *pickerRow = new QHBoxLayout;
    mainColumn->addLayout(pickerRow);
    // Taken from the style once the row sits in the tree, before it has items.
    const int halfSpacing = pickerRow->spacing() / 2;

    auto *fieldColumn = new QVBoxLayout;
    pickerRow->addLayout(fieldColumn);

    picker = new MyColorPicker(widget);
    picker->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    fieldColumn->addSpacing(halfSpacing);
    fieldColumn->addWidget(picker);
    fieldColumn->addSpacing(halfSpacing);

    lumPicker = new MyColorLuminancePicker(widget);
    lumPicker->setFixedWidth(20);
    pickerRow->addSpacing(10);
    pickerRow->addWidget(lumPicker);
    pickerRow->addStretch();

    QObject::connect(picker, SIGNAL(newCol(int, int)), lumPicker, SLOT(setCol(int, int)));
    QObject::connect(lumPicker, SIGNAL(newHsv(int, int, int)), widget,
                     SLOT(_newHsv(int, int, int)));

    mainColumn->addStretch();

    shower = new MyColorShower(widget);
    pickerRow->setContentsMargins(shower->grid->contentsMargins());
    mainColumn->addSpacing(10);

    QObject::connect(shower, SIGNAL(newCol(QRgb)), widget, SLOT(_newColorTypedIn(QRgb)));
    QObject::connect(shower, SIGNAL(currentColorChanged(QColor)), widget,
                     SIGNAL(currentColorChanged(QColor)));

    mainColumn->addWidget(shower);
    shower->retranslateLabels();
}

void MyColorWidgetPrivate::moveFieldAndStrip(QRgb rgb)
{
    QColor c;
    c.setRgb(rgb);
    int h, s, v;
    c.getHsv(&h, &s, &v);
    picker->setCol(h, s);
    lumPicker->setCol(h, s, v);
}

MyColorWidget::MyColorWidget(QWidget *parent) : MyColorWidget(QColor(Qt::white), parent) {}

MyColorWidget::MyColorWidget(const QColor &initial, QWidget *parent)
    : QWidget(parent), d(new MyColorWidgetPrivate(this))
{
    registerOptionTypes();
    setWindowTitle(tr("Select Color"));
    d->build();
    setCurrentColor(initial);
}

MyColorWidget::~MyColorWidget()
{
    delete d;
}

void MyColorWidget::setCurrentColor(const QColor &color)
{
    const QRgb rgb = color.rgb();
    d->shower->setRgb(rgb);
    d->moveFieldAndStrip(rgb);
    d->shower->setAlpha(color.alpha());
}

QColor MyColorWidget::currentColor() const
{
    return d->shower->currentColor;
}

void MyColorWidget::setOption(MyColorWidgetOption option, bool on)
{
    if (bool(d->optionSet & option) == on)
        return;
    setOptions(d->optionSet ^ option);
}

bool MyColorWidget::testOption(MyColorWidgetOption option) const
{
    return d->optionSet.testFlag(option);
}

void MyColorWidget::setOptions(MyColorWidgetOptions options)
{
    if (options == d->optionSet)
        return;
    d->optionSet = options;
    d->shower->setAlphaVisible(options.testFlag(ShowAlphaChannel));
}

MyColorWidget::MyColorWidgetOptions MyColorWidget::options() const
{
    return d->optionSet;
}

void MyColorWidget::setVisible(bool visible)
{
    if (testAttribute(Qt::WA_WState_ExplicitShowHide) &&
        testAttribute(Qt::WA_WState_Hidden) != visible)
        return;
    setAttribute(Qt::WA_DontShowOnScreen, false);
    QWidget::setVisible(visible);
}

void MyColorWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        d->shower->retranslateLabels();
    QWidget::changeEvent(event);
}

void MyColorWidget::_newHsv(int h, int s, int v)
{
    d->shower->setHsv(h, s, v);
    d->picker->setCol(h, s);
    d->lumPicker->setCol(h, s, v);
}

void MyColorWidget::_newColorTypedIn(QRgb rgb)
{
    d->moveFieldAndStrip(rgb);
}
