// SPDX-License-Identifier: MIT
#ifndef LABACCESSORIES_H
#define LABACCESSORIES_H

#include <QString>
#include <QStringList>

// The test's side of uhid-accessory in the VM lab: sends it commands through
// its FIFO and reads its log. Paths come from BRIMSEL_LAB_FIFO and
// BRIMSEL_LAB_LOG, which the guest's start-up script sets.
class LabAccessories
{
public:
    LabAccessories();

    bool isRunning() const; // the FIFO and the log are there
    void command(const QString &line);

    // A position in the log; the queries below look at what came after it.
    qint64 mark() const;
    // Log lines of one event ("SET_REPORT", "PLUG", ...) for one accessory.
    QStringList lines(qint64 since, const QString &event, const QString &name) const;
    // The bytes of each SET_REPORT the accessory received, as "02 ff 80 00".
    QStringList reports(qint64 since, const QString &name) const;
    // Waits, running Qt events, until `count` such lines are there.
    bool waitFor(qint64 since, const QString &event, const QString &name, int count,
                 int timeoutMs = 5000) const;

    // Hidraw nodes in sysfs for a vendor and product (the kernel's view).
    static int hidrawNodes(unsigned short vendor, unsigned short product);
    static bool waitForHidrawNodes(unsigned short vendor, unsigned short product, int count,
                                   int timeoutMs = 5000);
    // Hidraw devices this process holds open.
    static int openHidrawHandles();
    // The log's clock: CLOCK_MONOTONIC in seconds.
    static double now();
    static double timeOf(const QString &line);

private:
    QString fifo;
    QString log;
};

#endif // LABACCESSORIES_H
