// SPDX-License-Identifier: MIT
#ifndef FAKEHIDBUS_H
#define FAKEHIDBUS_H

#include <QByteArray>
#include <QString>
#include <QRgb>
#include <QVector>

// Stand-in for the USB HID bus. It implements the hid_* calls the program
// makes (see fakehidbus.cpp) and lets a test plug and unplug accessories,
// make calls fail and see every call that reached the bus. Thread-safe: the
// worker calls into it from its own thread while the test drives it.
class FakeHidBus
{
public:
    enum class Call { Init, Exit, Open, Close, Read, Write, Enumerate };

    // One call that reached the bus, in order.
    struct Event
    {
        Call call;
        unsigned short productId; // 0 where the call names no accessory
        int accessory;            // accessory id, or -1 (no match, null handle, no accessory)
        int result;               // return value; for Open 1 = handle, 0 = null
        QByteArray bytes;         // feature report bytes for Write
        qint64 timeNs;            // monotonic time of the call
        int bufferSize;           // Read: size of the caller's buffer; otherwise 0
        int timeoutMs;            // Read: the time-out asked for; otherwise 0
    };

    // How a read on a present accessory behaves when no report is queued.
    enum class ReadMode {
        WaitTimeout, // waits out the timeout and returns 0 (a silent accessory)
        Immediate,   // returns 0 at once
    };

    static void reset(); // unplugs everything, forgets every event and fault

    // Plugs an accessory with vendor 0x1209 and the given product; returns its
    // id. Several with one product may be plugged; hid_open finds the first.
    static int plug(unsigned short productId, ReadMode mode = ReadMode::WaitTimeout);
    static void unplug(int accessory);
    static void unplugProduct(unsigned short productId); // every accessory of that product
    static void setReadMode(int accessory, ReadMode mode);
    static void queueInputReport(int accessory, const QByteArray &report);

    // Faults, each for the next n calls of that kind (whatever the target).
    static void failOpens(int n = 1);  // hid_open returns null
    static void failReads(int n = 1);  // hid_read_timeout returns -1
    static void failWrites(int n = 1); // hid_send_feature_report returns -1
    // Unplugs the target accessory just before answering the next n writes
    // (an accessory pulled between a read and a write).
    static void vanishOnWrites(int n = 1);
    // Every feature report takes this long to go through (a slow accessory);
    // the write's event is stamped when it starts.
    static void setReportTime(int microseconds);
    // The next n writes take ms to answer (a slow or hung accessory); an
    // unplug ends the wait with a failure. Meanwhile hid_open and hid_close
    // (of a handle) wait for it to end, as Linux makes them.
    static void delayWrites(int ms, int n = 1);
    // A library that cannot start: until called again with an empty text,
    // hid_init fails, and so do hid_open and hid_enumerate, which start the
    // library first; hid_error(NULL) then returns the text. A search that
    // finds nothing leaves a text of its own, as hidapi does.
    static void failInit(const QString &error);

    static QVector<Event> events();
    static QVector<Event> events(Call call);
    // The newest colour written to the accessory (report 02 R B G), or 1,
    // no colour, where none was.
    static QRgb lastColor(int accessory);
    static QVector<Event> takeEvents(); // returns the log and empties it
    static int count(Call call);
    static int openHandles(); // handles opened and not yet closed
    static qint64 nowNs();    // the clock the events are stamped with

    // Waits (processing Qt events) until at least n events of that kind have
    // happened; returns whether they did within timeoutMs.
    static bool waitFor(Call call, int n, int timeoutMs = 5000);
};

#endif // FAKEHIDBUS_H
