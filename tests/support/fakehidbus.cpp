// SPDX-License-Identifier: MIT
#include "fakehidbus.h"

#include <QCoreApplication>
#include <QThread>

#include "accessorytable.h"

#include <hidapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct hid_device_
{
    int accessory;
    unsigned short productId;
    bool closed;
};

namespace {

constexpr unsigned short kVendorId = AccessoryTable::VendorId;

struct Accessory
{
    int id;
    unsigned short productId;
    bool present;
    FakeHidBus::ReadMode mode;
    std::deque<QByteArray> reports;
};

struct Bus
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Accessory> accessories;
    int nextId = 1;
    int failOpens = 0;
    int failReads = 0;
    int failWrites = 0;
    int vanishWrites = 0;
    int reportTimeUs = 0;
    int delayWrites = 0;
    int writeDelayMs = 0;
    int hangingWrites = 0; // delayed writes under way; outlive reset()
    int openHandles = 0;
    // hidapi's global error text. The texts given to failInit live as long
    // as the bus, so that a pointer handed out by hid_error stays valid.
    const wchar_t *initError = nullptr;
    const wchar_t *globalError = nullptr;
    std::deque<std::wstring> errorTexts;
    std::vector<FakeHidBus::Event> events;
    // Handles live as long as the bus so that a late call on a closed handle
    // is seen as an event instead of a use-after-free inside the stand-in.
    std::vector<std::unique_ptr<hid_device_>> handles;
};

Bus &bus()
{
    static Bus b;
    return b;
}

Accessory *findLocked(int id)
{
    for (Accessory &a : bus().accessories) {
        if (a.id == id)
            return &a;
    }
    return nullptr;
}

void logLocked(FakeHidBus::Call call, unsigned short productId, int accessory, int result,
               const QByteArray &bytes = QByteArray(), int bufferSize = 0, int timeoutMs = 0)
{
    bus().events.push_back(
        {call, productId, accessory, result, bytes, FakeHidBus::nowNs(), bufferSize, timeoutMs});
}

bool takeFault(int &counter)
{
    if (counter <= 0)
        return false;
    --counter;
    return true;
}

// A handle that can still talk to its accessory.
Accessory *liveLocked(hid_device *dev)
{
    if (!dev || dev->closed)
        return nullptr;
    Accessory *a = findLocked(dev->accessory);
    return (a && a->present) ? a : nullptr;
}

hid_device *openLocked(Accessory &a)
{
    bus().handles.push_back(std::make_unique<hid_device_>(hid_device_{a.id, a.productId, false}));
    ++bus().openHandles;
    return bus().handles.back().get();
}

wchar_t *wideCopy(const std::wstring &s)
{
    auto *out = static_cast<wchar_t *>(calloc(s.size() + 1, sizeof(wchar_t)));
    std::copy(s.begin(), s.end(), out);
    return out;
}

std::wstring productName(unsigned short productId)
{
    for (const AccessoryTable::Entry &entry : AccessoryTable::entries) {
        if (entry.productId == productId)
            return QString::fromLatin1(entry.name).toStdWString();
    }
    return L"Accessory";
}

// Linux holds every hidraw open and close while a write on any of them
// waits for its accessory.
void waitForHangsLocked(std::unique_lock<std::mutex> &lock)
{
    bus().changed.wait(lock, [] { return bus().hangingWrites == 0; });
}

std::string pathFor(int id)
{
    return "/dev/fake-hidraw" + std::to_string(id);
}

} // namespace

void FakeHidBus::reset()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    Bus &b = bus();
    b.accessories.clear();
    b.failOpens = b.failReads = b.failWrites = b.vanishWrites = b.reportTimeUs = b.delayWrites = 0;
    b.initError = b.globalError = nullptr;
    b.events.clear();
    b.openHandles = 0;
    // Closed handles are gone for good; open ones stay allocated (and now
    // fail every call) in case a worker from an earlier test still holds one.
    b.handles.erase(std::remove_if(b.handles.begin(), b.handles.end(),
                                   [](const std::unique_ptr<hid_device_> &h) { return h->closed; }),
                    b.handles.end());
    for (auto &h : b.handles)
        h->accessory = -1;
    b.changed.notify_all();
}

int FakeHidBus::plug(unsigned short productId, ReadMode mode)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    const int id = bus().nextId++;
    bus().accessories.push_back({id, productId, true, mode, {}});
    return id;
}

void FakeHidBus::unplug(int accessory)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    if (Accessory *a = findLocked(accessory))
        a->present = false;
    bus().changed.notify_all();
}

void FakeHidBus::unplugProduct(unsigned short productId)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    for (Accessory &a : bus().accessories) {
        if (a.productId == productId)
            a.present = false;
    }
    bus().changed.notify_all();
}

void FakeHidBus::setReadMode(int accessory, ReadMode mode)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    if (Accessory *a = findLocked(accessory))
        a->mode = mode;
    bus().changed.notify_all();
}

void FakeHidBus::queueInputReport(int accessory, const QByteArray &report)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    if (Accessory *a = findLocked(accessory))
        a->reports.push_back(report);
    bus().changed.notify_all();
}

void FakeHidBus::failOpens(int n)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().failOpens = n;
}

void FakeHidBus::failReads(int n)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().failReads = n;
}

void FakeHidBus::failWrites(int n)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().failWrites = n;
}

void FakeHidBus::vanishOnWrites(int n)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().vanishWrites = n;
}

void FakeHidBus::setReportTime(int microseconds)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().reportTimeUs = microseconds;
}

void FakeHidBus::delayWrites(int ms, int n)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().writeDelayMs = ms;
    bus().delayWrites = n;
}

void FakeHidBus::failInit(const QString &error)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    if (error.isEmpty()) {
        bus().initError = nullptr;
        return;
    }
    const std::wstring text = error.toStdWString();
    auto known = std::find(bus().errorTexts.begin(), bus().errorTexts.end(), text);
    if (known == bus().errorTexts.end())
        known = bus().errorTexts.insert(known, text);
    bus().initError = known->c_str();
}

QVector<FakeHidBus::Event> FakeHidBus::events()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    return QVector<Event>(bus().events.begin(), bus().events.end());
}

QVector<FakeHidBus::Event> FakeHidBus::events(Call call)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    QVector<Event> out;
    for (const Event &e : bus().events) {
        if (e.call == call)
            out.append(e);
    }
    return out;
}

QRgb FakeHidBus::lastColor(int accessory)
{
    QRgb color = 1;
    for (const Event &e : events(Call::Write)) {
        const auto b = reinterpret_cast<const unsigned char *>(e.bytes.constData());
        if (e.accessory == accessory && e.bytes.size() >= 4)
            color = qRgb(b[1], b[3], b[2]);
    }
    return color;
}

QVector<FakeHidBus::Event> FakeHidBus::takeEvents()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    QVector<Event> out(bus().events.begin(), bus().events.end());
    bus().events.clear();
    return out;
}

int FakeHidBus::count(Call call)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    return int(std::count_if(bus().events.begin(), bus().events.end(),
                             [call](const Event &e) { return e.call == call; }));
}

int FakeHidBus::openHandles()
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    return bus().openHandles;
}

qint64 FakeHidBus::nowNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

bool FakeHidBus::waitFor(Call call, int n, int timeoutMs)
{
    const qint64 deadline = nowNs() + qint64(timeoutMs) * 1000000;
    while (count(call) < n) {
        if (nowNs() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// The hidapi calls, as the program sees them.

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    bus().globalError = bus().initError;
    const int result = bus().initError ? -1 : 0;
    logLocked(FakeHidBus::Call::Init, 0, -1, result);
    return result;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    logLocked(FakeHidBus::Call::Exit, 0, -1, 0);
    return 0;
}

hid_device *HID_API_EXPORT HID_API_CALL hid_open(unsigned short vendor_id,
                                                 unsigned short product_id,
                                                 const wchar_t *serial_number)
{
    std::unique_lock<std::mutex> lock(bus().mutex);
    waitForHangsLocked(lock);
    if (bus().initError) {
        bus().globalError = bus().initError;
        logLocked(FakeHidBus::Call::Open, product_id, -1, 0);
        return nullptr;
    }
    bus().globalError = L"Device with requested VID/PID/(SerialNumber) not found";
    if (vendor_id != kVendorId || serial_number != nullptr || takeFault(bus().failOpens)) {
        logLocked(FakeHidBus::Call::Open, product_id, -1, 0);
        return nullptr;
    }
    for (Accessory &a : bus().accessories) {
        if (a.present && a.productId == product_id) {
            bus().globalError = nullptr;
            logLocked(FakeHidBus::Call::Open, product_id, a.id, 1);
            return openLocked(a);
        }
    }
    logLocked(FakeHidBus::Call::Open, product_id, -1, 0);
    return nullptr;
}

hid_device *HID_API_EXPORT HID_API_CALL hid_open_path(const char *path)
{
    std::unique_lock<std::mutex> lock(bus().mutex);
    waitForHangsLocked(lock);
    if (path && !bus().initError && !takeFault(bus().failOpens)) {
        for (Accessory &a : bus().accessories) {
            if (a.present && pathFor(a.id) == path) {
                logLocked(FakeHidBus::Call::Open, a.productId, a.id, 1);
                return openLocked(a);
            }
        }
    }
    logLocked(FakeHidBus::Call::Open, 0, -1, 0);
    return nullptr;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    std::unique_lock<std::mutex> lock(bus().mutex);
    if (!dev) {
        logLocked(FakeHidBus::Call::Close, 0, -1, 0);
        return;
    }
    waitForHangsLocked(lock);
    // A second close of one handle is a fault of the caller: logged as -1.
    logLocked(FakeHidBus::Call::Close, dev->productId, dev->accessory, dev->closed ? -1 : 0);
    if (!dev->closed) {
        dev->closed = true;
        --bus().openHandles;
    }
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device *dev, unsigned char *data,
                                                 size_t length, int milliseconds)
{
    std::unique_lock<std::mutex> lock(bus().mutex);
    const unsigned short pid = dev ? dev->productId : 0;
    const int id = dev ? dev->accessory : -1;
    const int size = int(length);
    if (takeFault(bus().failReads) || !liveLocked(dev)) {
        logLocked(FakeHidBus::Call::Read, pid, id, -1, QByteArray(), size, milliseconds);
        return -1;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    // Wait for a report, an unplug or the timeout, like a blocking hidraw read.
    auto ready = [dev] {
        Accessory *a = liveLocked(dev);
        return !a || !a->reports.empty() || a->mode == FakeHidBus::ReadMode::Immediate;
    };
    bus().changed.wait_until(lock, deadline, ready);
    Accessory *a = liveLocked(dev);
    if (!a) {
        logLocked(FakeHidBus::Call::Read, pid, id, -1, QByteArray(), size, milliseconds);
        return -1;
    }
    int result = 0;
    if (!a->reports.empty()) {
        const QByteArray report = a->reports.front();
        a->reports.pop_front();
        result = int(std::min(length, size_t(report.size())));
        if (result > 0)
            memcpy(data, report.constData(), size_t(result));
    }
    logLocked(FakeHidBus::Call::Read, pid, id, result, QByteArray(), size, milliseconds);
    return result;
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device *dev, const unsigned char *data,
                                                        size_t length)
{
    std::unique_lock<std::mutex> lock(bus().mutex);
    const unsigned short pid = dev ? dev->productId : 0;
    const int id = dev ? dev->accessory : -1;
    const QByteArray bytes(reinterpret_cast<const char *>(data), data ? int(length) : 0);
    if (liveLocked(dev) && takeFault(bus().delayWrites)) {
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(bus().writeDelayMs);
        ++bus().hangingWrites;
        bus().changed.wait_until(lock, until, [dev] { return !liveLocked(dev); });
        --bus().hangingWrites;
        bus().changed.notify_all();
    }
    if (dev && !dev->closed && takeFault(bus().vanishWrites)) {
        if (Accessory *a = findLocked(dev->accessory))
            a->present = false;
        bus().changed.notify_all();
    }
    int result = int(length);
    if (takeFault(bus().failWrites) || !liveLocked(dev) || !data)
        result = -1;
    logLocked(FakeHidBus::Call::Write, pid, id, result, bytes);
    // The caller waits out the transfer; the bus stays free meanwhile.
    const int reportTimeUs = bus().reportTimeUs;
    lock.unlock();
    if (reportTimeUs > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(reportTimeUs));
    return result;
}

struct hid_device_info *HID_API_EXPORT HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                  unsigned short product_id)
{
    std::lock_guard<std::mutex> lock(bus().mutex);
    logLocked(FakeHidBus::Call::Enumerate, product_id, -1, 0);
    bus().globalError = bus().initError;
    if (bus().initError)
        return nullptr;
    hid_device_info *head = nullptr;
    hid_device_info **tail = &head;
    for (const Accessory &a : bus().accessories) {
        if (!a.present || (vendor_id && vendor_id != kVendorId) ||
            (product_id && product_id != a.productId))
            continue;
        auto *info = static_cast<hid_device_info *>(calloc(1, sizeof(hid_device_info)));
        info->path = strdup(pathFor(a.id).c_str());
        info->vendor_id = kVendorId;
        info->product_id = a.productId;
        info->serial_number = wideCopy(L"BRIM" + std::to_wstring(a.id));
        info->manufacturer_string = wideCopy(L"Brimsel");
        info->product_string = wideCopy(productName(a.productId));
        info->interface_number = 0;
        *tail = info;
        tail = &info->next;
    }
    if (!head)
        bus().globalError = L"No HID devices with requested VID/PID found in the system.";
    return head;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info *devs)
{
    while (devs) {
        hid_device_info *next = devs->next;
        free(devs->path);
        free(devs->serial_number);
        free(devs->manufacturer_string);
        free(devs->product_string);
        free(devs);
        devs = next;
    }
}

const wchar_t *HID_API_EXPORT HID_API_CALL hid_error(hid_device *dev)
{
    if (dev)
        return L"stand-in accessory error";
    std::lock_guard<std::mutex> lock(bus().mutex);
    return bus().globalError ? bus().globalError : L"Success";
}

} // extern "C"
