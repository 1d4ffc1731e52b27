// SPDX-License-Identifier: MIT
#include "profilesettings.h"

#include "accessorytable.h"
#include "colorbutton.h"
#include "lightsagent.h"
#include "profilefile.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace {

using Settings = LightsProfile::Settings;
using Signal = LightsProfile::Signal;

constexpr int kFlagRows = TelemetryDecoder::FlagCount - 1; // green to red; None has no colour

// The rows of the race's colours, as the window names them.
const char *const kRaceLabels[kFlagRows + LightsProfile::RaceItemCount] = {
    QT_TRANSLATE_NOOP("ProfileSettings", "Green flag"),
    QT_TRANSLATE_NOOP("ProfileSettings", "White flag"),
    QT_TRANSLATE_NOOP("ProfileSettings", "Blue flag"),
    QT_TRANSLATE_NOOP("ProfileSettings", "Yellow flag"),
    QT_TRANSLATE_NOOP("ProfileSettings", "Safety car"),
    QT_TRANSLATE_NOOP("ProfileSettings", "Chequered flag"),
    QT_TRANSLATE_NOOP("ProfileSettings", "Black flag"),
    QT_TRANSLATE_NOOP("ProfileSettings", "Red flag"),
    QT_TRANSLATE_NOOP("ProfileSettings", "Pit limiter"),
    QT_TRANSLATE_NOOP("ProfileSettings", "In the pit lane"),
    QT_TRANSLATE_NOOP("ProfileSettings", "ABS working"),
    QT_TRANSLATE_NOOP("ProfileSettings", "TC working"),
    QT_TRANSLATE_NOOP("ProfileSettings", "DRS open"),
    QT_TRANSLATE_NOOP("ProfileSettings", "DRS available"),
};

QString raceKey(int row)
{
    return row < kFlagRows ? TelemetryDecoder::flagName(TelemetryDecoder::Flag(row + 1))
                           : LightsProfile::raceItemName(LightsProfile::RaceItem(row - kFlagRows));
}

Signal &raceSignal(Settings &s, int row)
{
    return row < kFlagRows ? s.race.flags[size_t(row + 1)] : s.race.items[size_t(row - kFlagRows)];
}

QString showText(const std::vector<LightsProfile::Show> &show)
{
    QStringList names;
    for (const LightsProfile::Show item : show)
        names << LightsProfile::showName(item);
    return names.join(QStringLiteral(", "));
}

QDoubleSpinBox *percentBox(QWidget *parent)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setRange(0, 100);
    box->setDecimals(1);
    box->setSuffix(QStringLiteral(" %"));
    // A value is taken when typed in full, not at each digit.
    box->setKeyboardTracking(false);
    return box;
}

QDoubleSpinBox *hzBox(QWidget *parent, double lowest)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setRange(lowest, LightsProfile::MaxFlashHz);
    box->setDecimals(1);
    box->setSingleStep(0.5);
    box->setSuffix(QStringLiteral(" Hz"));
    box->setKeyboardTracking(false);
    return box;
}

} // namespace

ProfileSettings::ProfileSettings(LightsAgent *agent, QWidget *parent)
    : QWidget(parent), agent(agent), path(agent->profilePath()), status(new QLabel(this)),
      idle(new ColorButton(this)), stagesGrid(new QGridLayout), stagesBox(new QWidget(this)),
      flashColor(new ColorButton(this)), flashFrom(percentBox(this)),
      flashGame(new QCheckBox(this)), flashHz(hzBox(this, 0.5))
{
    setObjectName(QStringLiteral("ProfileSettings"));
    writeTimer.setSingleShot(true);
    writeTimer.setInterval(WriteDelayMs);
    connect(&writeTimer, &QTimer::timeout, this, &ProfileSettings::writeNow);
    status->setObjectName(QStringLiteral("profileStatus"));
    status->setWordWrap(true);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *page = new QWidget;
    auto *pageLayout = new QVBoxLayout(page);

    auto *idleBox = new QGroupBox(tr("While no game drives"), page);
    auto *idleForm = new QFormLayout(idleBox);
    idleForm->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    idle->setObjectName(QStringLiteral("idleColor"));
    idle->setToolTip(tr("The idle colour: shown by an accessory that keeps no colour"));
    idleForm->addRow(tr("Idle colour:"), idle);
    connect(idle, &ColorButton::colorChosen, this, [this](const QColor &c) {
        change([rgb = c.rgb()](LightsProfile &p) { p.setIdle(rgb); });
    });
    pageLayout->addWidget(idleBox);

    auto *showBox = new QGroupBox(tr("What each accessory shows while a game drives"), page);
    auto *showGrid = new QGridLayout(showBox);
    auto *showHelp =
        new QLabel(tr("The first of the list that has something to show wins: rev, shift, "
                      "handbrake, base, off, flag, limiter, pit, abs, tc, drs. Beside it, the "
                      "colour while the handbrake is pulled."),
                   showBox);
    showHelp->setWordWrap(true);
    showGrid->addWidget(showHelp, 0, 0, 1, 3);
    for (size_t i = 0; i < shows.size(); ++i) {
        const QString key = QLatin1String(AccessoryTable::entries[i].key);
        const int row = int(i) + 1;
        showGrid->addWidget(
            new QLabel(QCoreApplication::translate("HidWorker", AccessoryTable::entries[i].name),
                       showBox),
            row, 0);
        shows[i] = new QLineEdit(showBox);
        shows[i]->setObjectName(QStringLiteral("show_%1").arg(key));
        showGrid->addWidget(shows[i], row, 1);
        connect(shows[i], &QLineEdit::editingFinished, this, [this, i] { applyShowList(int(i)); });
        handbrakes[i] = new ColorButton(showBox);
        handbrakes[i]->setObjectName(QStringLiteral("handbrakeColor_%1").arg(key));
        handbrakes[i]->setToolTip(tr("Its colour while the handbrake is pulled"));
        showGrid->addWidget(handbrakes[i], row, 2);
        connect(handbrakes[i], &ColorButton::colorChosen, this, [this, i](const QColor &c) {
            changeSetting([i](Settings &s) -> QRgb & { return s.accessories[i].handbrake; },
                          c.rgb());
        });
    }
    showGrid->setColumnStretch(1, 1);
    pageLayout->addWidget(showBox);

    auto *revBox = new QGroupBox(tr("The rev light"), page);
    auto *revLayout = new QVBoxLayout(revBox);
    revLayout->addWidget(new QLabel(tr("Stages, from a share of the maximum RPM:"), revBox));
    stagesBox->setLayout(stagesGrid);
    revLayout->addWidget(stagesBox);
    auto *add = new QPushButton(tr("Add a stage"), revBox);
    add->setObjectName(QStringLiteral("addStage"));
    connect(add, &QPushButton::clicked, this, [this] {
        std::vector<LightsProfile::Stage> stages = shown.settings.stages;
        const double from = stages.empty() ? 70 : std::min(100.0, stages.back().from + 5);
        stages.push_back({from, stages.empty() ? qRgb(0, 255, 0) : stages.back().color});
        changeSetting([](Settings &s) -> std::vector<LightsProfile::Stage> & { return s.stages; },
                      stages);
        showStages();
    });
    revLayout->addWidget(add, 0, Qt::AlignLeft);
    auto *flashForm = new QFormLayout;
    flashForm->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    flashColor->setObjectName(QStringLiteral("flashColor"));
    flashColor->setToolTip(tr("The shift flash's colour"));
    flashFrom->setObjectName(QStringLiteral("flashFrom"));
    flashGame->setObjectName(QStringLiteral("flashGame"));
    flashGame->setText(tr("Flash at the game's own shift signal, where it sends one"));
    flashHz->setObjectName(QStringLiteral("flashHz"));
    flashForm->addRow(tr("Shift flash:"), flashColor);
    flashForm->addRow(tr("Flash from:"), flashFrom);
    flashForm->addRow(QString(), flashGame);
    flashForm->addRow(tr("Flash rate:"), flashHz);
    revLayout->addLayout(flashForm);
    connect(flashColor, &ColorButton::colorChosen, this, [this](const QColor &c) {
        changeSetting([](Settings &s) -> QRgb & { return s.flashColor; }, c.rgb());
    });
    connect(flashFrom, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this](double v) {
                changeSetting([](Settings &s) -> double & { return s.flashFrom; }, v);
            });
    connect(flashGame, &QCheckBox::toggled, this, [this](bool on) {
        changeSetting([](Settings &s) -> bool & { return s.flashFollowsGame; }, on);
    });
    connect(flashHz, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this](double v) {
        changeSetting([](Settings &s) -> double & { return s.flashHz; }, v);
    });
    pageLayout->addWidget(revBox);

    auto *raceBox = new QGroupBox(tr("The race"), page);
    auto *raceGrid = new QGridLayout(raceBox);
    raceGrid->addWidget(new QLabel(tr("Shown"), raceBox), 0, 0);
    raceGrid->addWidget(new QLabel(tr("Colour"), raceBox), 0, 1);
    raceGrid->addWidget(new QLabel(tr("Blinks with"), raceBox), 0, 2);
    raceGrid->addWidget(new QLabel(tr("Blink rate (0: steady)"), raceBox), 0, 3);
    for (int r = 0; r < kFlagRows + LightsProfile::RaceItemCount; ++r) {
        const QString key = raceKey(r);
        RaceRow row{new QCheckBox(tr(kRaceLabels[r]), raceBox), new ColorButton(raceBox),
                    new ColorButton(raceBox), hzBox(raceBox, 0)};
        row.on->setObjectName(QStringLiteral("race_%1").arg(key));
        row.color->setObjectName(QStringLiteral("race_%1_color").arg(key));
        row.blink->setObjectName(QStringLiteral("race_%1_blink").arg(key));
        row.hz->setObjectName(QStringLiteral("race_%1_hz").arg(key));
        row.color->setToolTip(tr(kRaceLabels[r]));
        row.blink->setToolTip(tr(kRaceLabels[r]));
        raceGrid->addWidget(row.on, r + 1, 0);
        raceGrid->addWidget(row.color, r + 1, 1);
        raceGrid->addWidget(row.blink, r + 1, 2);
        raceGrid->addWidget(row.hz, r + 1, 3);
        connect(row.on, &QCheckBox::toggled, this, [this, r] { applyRace(r); });
        connect(row.color, &ColorButton::colorChosen, this, [this, r] { applyRace(r); });
        connect(row.blink, &ColorButton::colorChosen, this, [this, r] { applyRace(r); });
        connect(row.hz, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [this, r] { applyRace(r); });
        race.push_back(row);
    }
    raceGrid->setColumnStretch(4, 1);
    pageLayout->addWidget(raceBox);
    pageLayout->addStretch(1);

    auto *scroll = new QScrollArea(this);
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // As wide as the settings, so that only the height scrolls.
    scroll->setMinimumWidth(page->sizeHint().width() +
                            scroll->verticalScrollBar()->sizeHint().width());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(status);
    layout->addWidget(scroll, 1);

    connect(agent, &LightsAgent::profileChanged, this, [this] {
        // An edit from outside; a change of ours not yet written waits, and
        // goes over it when written.
        if (pending.empty() && this->agent->fileProfile() != shown)
            load();
    });
    setEnabled(!path.isEmpty());
    load();
}

QString ProfileSettings::statusText() const
{
    return status->text();
}

void ProfileSettings::say(const QString &text, bool bad)
{
    status->setText(text);
    status->setStyleSheet(bad ? QStringLiteral("color: #c00000;") : QString());
}

void ProfileSettings::load()
{
    shown = agent->fileProfile();
    showSettings();
    if (path.isEmpty())
        say(tr("The lights follow no profile file."), false);
    else
        say(tr("For every game; a game's or a car's own settings stay as %1 says them.")
                .arg(QDir::toNativeSeparators(path)),
            false);
}

void ProfileSettings::showSettings()
{
    const Settings &s = shown.settings;
    const QSignalBlocker blockIdle(idle), blockColor(flashColor), blockFrom(flashFrom),
        blockGame(flashGame), blockHz(flashHz);
    idle->setColor(QColor(shown.idle));
    for (size_t i = 0; i < shows.size(); ++i) {
        const QString text = showText(s.accessories[i].show);
        if (shows[i]->text() != text)
            shows[i]->setText(text);
        shows[i]->setStyleSheet(QString());
        shows[i]->setToolTip(QString());
        handbrakes[i]->setColor(QColor(s.accessories[i].handbrake));
    }
    flashColor->setColor(QColor(s.flashColor));
    flashFrom->setValue(s.flashFrom);
    flashGame->setChecked(s.flashFollowsGame);
    flashHz->setValue(s.flashHz);
    for (size_t r = 0; r < race.size(); ++r) {
        const RaceRow &row = race[r];
        const QSignalBlocker b1(row.on), b2(row.color), b3(row.blink), b4(row.hz);
        const Signal &signal = raceSignal(shown.settings, int(r));
        const bool on = !signal.colors.empty();
        const bool blinks = signal.colors.size() > 1 && signal.hz > 0;
        row.on->setChecked(on);
        row.color->setColor(on ? QColor(signal.colors[0]) : QColor(Qt::black));
        row.blink->setColor(blinks ? QColor(signal.colors[1]) : QColor(Qt::black));
        row.hz->setValue(blinks ? signal.hz : 0);
        row.color->setEnabled(on);
        row.blink->setEnabled(on && blinks);
        row.hz->setEnabled(on);
    }
    showStages();
}

void ProfileSettings::showStages()
{
    // The rows are made anew (their number follows the profile's), but
    // only when the stages differ: a box being typed in keeps its focus.
    if (stagesShown && *stagesShown == shown.settings.stages)
        return;
    stagesShown = shown.settings.stages;
    while (QLayoutItem *item = stagesGrid->takeAt(0)) {
        if (QWidget *old = item->widget()) {
            // Later: one of them may be what called this, or hold a dialog open.
            old->hide();
            old->setObjectName(QString());
            old->deleteLater();
        }
        delete item;
    }
    const std::vector<LightsProfile::Stage> &stages = shown.settings.stages;
    for (size_t i = 0; i < stages.size(); ++i) {
        auto *from = percentBox(stagesBox);
        from->setObjectName(QStringLiteral("stageFrom_%1").arg(i));
        from->setValue(stages[i].from);
        auto *color = new ColorButton(stagesBox);
        color->setObjectName(QStringLiteral("stageColor_%1").arg(i));
        color->setToolTip(tr("Stage %1's colour").arg(i + 1));
        color->setColor(QColor(stages[i].color));
        auto *remove = new QToolButton(stagesBox);
        remove->setObjectName(QStringLiteral("removeStage_%1").arg(i));
        remove->setText(tr("Remove"));
        stagesGrid->addWidget(new QLabel(tr("From"), stagesBox), int(i), 0);
        stagesGrid->addWidget(from, int(i), 1);
        stagesGrid->addWidget(color, int(i), 2);
        stagesGrid->addWidget(remove, int(i), 3);
        using Stages = std::vector<LightsProfile::Stage>;
        const auto field = [](Settings &s) -> Stages & { return s.stages; };
        connect(from, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [this, i, field](double v) {
                    Stages next = shown.settings.stages;
                    next[i].from = v;
                    const auto byFrom = [](const LightsProfile::Stage &a,
                                           const LightsProfile::Stage &b) {
                        return a.from < b.from;
                    };
                    const bool inOrder = std::is_sorted(next.begin(), next.end(), byFrom);
                    std::stable_sort(next.begin(), next.end(), byFrom);
                    changeSetting(field, next);
                    if (inOrder)
                        stagesShown = next;
                    else // moved to its place by rising share
                        QTimer::singleShot(0, this, &ProfileSettings::showStages);
                });
        connect(color, &ColorButton::colorChosen, this, [this, i, field](const QColor &c) {
            Stages next = shown.settings.stages;
            next[i].color = c.rgb();
            changeSetting(field, next);
            stagesShown = next;
        });
        connect(remove, &QToolButton::clicked, this, [this, i, field] {
            Stages next = shown.settings.stages;
            next.erase(next.begin() + long(i));
            changeSetting(field, next);
            QTimer::singleShot(0, this, &ProfileSettings::showStages);
        });
    }
    stagesGrid->setColumnStretch(4, 1);
}

void ProfileSettings::applyShowList(int slot)
{
    QLineEdit *edit = shows[size_t(slot)];
    std::vector<LightsProfile::Show> list;
    QStringList unknown;
    // Split by hand: Qt 5.12 has no Qt::SkipEmptyParts, 5.15 deprecates the other.
    for (const QString &name : edit->text().split(QRegularExpression(QStringLiteral("[,\\s]+")))) {
        if (name.isEmpty())
            continue;
        LightsProfile::Show item;
        if (LightsProfile::showFromName(name.toLower(), &item))
            list.push_back(item);
        else
            unknown << name;
    }
    if (!unknown.isEmpty()) {
        // Not taken until it names only what an accessory can show.
        edit->setStyleSheet(QStringLiteral("color: #c00000;"));
        edit->setToolTip(tr("Not known: %1").arg(unknown.join(QStringLiteral(", "))));
        say(tr("%1: not known: %2; known are rev, shift, handbrake, base, off, flag, limiter, "
               "pit, abs, tc, drs.")
                .arg(QCoreApplication::translate("HidWorker",
                                                 AccessoryTable::entries[size_t(slot)].name),
                     unknown.join(QStringLiteral(", "))),
            true);
        return;
    }
    edit->setStyleSheet(QString());
    edit->setToolTip(QString());
    changeSetting(
        [slot](Settings &s) -> std::vector<LightsProfile::Show> & {
            return s.accessories[size_t(slot)].show;
        },
        list);
    const QSignalBlocker block(edit);
    edit->setText(showText(list));
}

void ProfileSettings::applyRace(int r)
{
    const RaceRow &row = race[size_t(r)];
    const Signal &before = raceSignal(shown.settings, r);
    Signal next;
    if (row.on->isChecked()) {
        next.colors.push_back(row.color->color().rgb());
        if (row.hz->value() > 0) {
            next.colors.push_back(row.blink->color().rgb());
            // A blink of more colours, written by hand, keeps the rest.
            if (before.colors.size() > 2)
                next.colors.insert(next.colors.end(), before.colors.begin() + 2,
                                   before.colors.end());
            next.hz = row.hz->value();
        }
    }
    row.color->setEnabled(row.on->isChecked());
    row.blink->setEnabled(row.on->isChecked() && row.hz->value() > 0);
    row.hz->setEnabled(row.on->isChecked());
    changeSetting([r](Settings &s) -> Signal & { return raceSignal(s, r); }, next);
}

template<typename Field, typename T>
void ProfileSettings::changeSetting(Field field, const T &value)
{
    change([field, value](LightsProfile &p) {
        const T before = field(p.settings);
        field(p.settings) = value;
        // A game or car that said nothing of its own had every game's.
        for (auto &game : p.games) {
            if (field(game.second.settings) == before)
                field(game.second.settings) = value;
            for (auto &car : game.second.cars) {
                if (field(car.second) == before)
                    field(car.second) = value;
            }
        }
    });
}

void ProfileSettings::change(const Change &apply)
{
    apply(shown);
    pending.push_back(apply);
    writeTimer.start();
}

bool ProfileSettings::writeNow()
{
    writeTimer.stop();
    if (pending.empty() || path.isEmpty())
        return true;
    const QString where = QDir::toNativeSeparators(path);
    // Over the file as it is now: an edit by hand since it was read stays.
    const ProfileFile::Result onDisk = ProfileFile::read(path);
    if (onDisk.found && !onDisk.ok) {
        const ProfileFile::Error &first = onDisk.errors.value(0);
        say(tr("Not saved: %1 has an error (%2); mend it there first.")
                .arg(ProfileFile::errorText(where, first).section(QLatin1Char(' '), 0, 0),
                     first.message),
            true);
        return false;
    }
    LightsProfile next = onDisk.profile;
    for (const Change &apply : pending)
        apply(next);
    const QByteArray text = ProfileFile::text(next).toUtf8();
    QString kept;
    QFile old(path);
    if (old.open(QIODevice::ReadOnly)) {
        const QByteArray before = old.readAll();
        old.close();
        // Written here, the file says every setting and none of its comments:
        // the owner's own text is kept beside it.
        if (before != written && before != text) {
            QFile::remove(path + QStringLiteral(".bak"));
            if (QFile::copy(path, path + QStringLiteral(".bak")))
                kept = where + QStringLiteral(".bak");
        }
    }
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        say(tr("Not saved in %1: %2").arg(where, file.errorString()), true);
        return false;
    }
    pending.clear();
    written = text;
    shown = next;
    showSettings();
    say(kept.isEmpty() ? tr("Saved in %1.").arg(where)
                       : tr("Saved in %1; the file as it was is %2.").arg(where, kept),
        false);
    return true;
}
