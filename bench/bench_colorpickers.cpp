// SPDX-License-Identifier: MIT
// Times the expensive steps of the hue/saturation field and the value strip:
// the field image, the strip gradient, and one mouse move in each including
// its synchronous repaint. Prints median and 99th percentile.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QResizeEvent>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "mousedragger.h"
#include "mycolorluminancepicker.h"
#include "mycolorpicker.h"

namespace {

struct Figures
{
    double median;
    double p99;
};

Figures summarize(QVector<double> times)
{
    std::sort(times.begin(), times.end());
    const int n = times.size();
    return {times.at(n / 2), times.at(std::min(n - 1, n * 99 / 100))};
}

// Runs step the given number of times after a short warm-up; microseconds.
Figures measure(int runs, const std::function<void(int)> &step)
{
    for (int i = 0; i < runs / 10 + 1; ++i)
        step(i);
    QVector<double> times;
    times.reserve(runs);
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        step(i);
        times.append(timer.nsecsElapsed() / 1000.0);
    }
    return summarize(times);
}

void report(const char *what, const Figures &f, double goalUs)
{
    std::printf("%-46s median %8.1f us   p99 %8.1f us   goal < %.0f us\n", what, f.median, f.p99,
                goalUs);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);

    MyColorPicker field(nullptr);
    field.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field.resize(field.sizeHint());
    field.show();

    MyColorLuminancePicker strip(nullptr);
    strip.resize(20, 202);
    strip.show();
    QApplication::processEvents();
    MouseDragger fieldMouse(&field);
    MouseDragger stripMouse(&strip);

    // The field builds its image in resizeEvent, from its current size.
    report("field image 220x200 (resize event)",
           measure(300,
                   [&](int) {
                       QResizeEvent event(field.size(), field.size());
                       QApplication::sendEvent(&field, &event);
                   }),
           2000);

    // The strip builds its gradient at the first paint after a setter. A
    // hidden strip's setter drops the cache without painting; rendering it
    // twice then gives a paint that builds the gradient and one that reuses
    // it. The median of the paired differences is the gradient's cost.
    MyColorLuminancePicker hiddenStrip(nullptr);
    hiddenStrip.resize(20, 202);
    QImage target(20, 202, QImage::Format_ARGB32_Premultiplied);
    QVector<double> withBuild, cached, gradient;
    QElapsedTimer timer;
    for (int i = 0; i < 3000; ++i) {
        hiddenStrip.setCol(i % 360, 200, 128);
        timer.start();
        hiddenStrip.render(&target);
        const double first = timer.nsecsElapsed() / 1000.0;
        timer.start();
        hiddenStrip.render(&target);
        const double second = timer.nsecsElapsed() / 1000.0;
        if (i < 300)
            continue; // warm-up
        withBuild.append(first);
        cached.append(second);
        gradient.append(first - second);
    }
    report("strip 20x202 paint, gradient built", summarize(withBuild), 100);
    report("strip 20x202 paint, gradient cached", summarize(cached), 100);
    report("strip gradient 20x202 (paired difference)", summarize(gradient), 100);

    // Every move changes the pair or the value, so every move repaints.
    report(
        "field mouse move with repaint",
        measure(3000, [&](int i) { fieldMouse.moveTo(i % 2 ? QPoint(60, 50) : QPoint(150, 140)); }),
        200);
    report("strip mouse move with repaint",
           measure(3000, [&](int i) { stripMouse.moveTo(QPoint(5, i % 2 ? 40 : 160)); }), 200);
    return 0;
}
