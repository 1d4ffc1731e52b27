// SPDX-License-Identifier: MIT
#include "iracingmemory.h"

#include "telemetrybytes.h"

#include <algorithm>
#include <cstring>

using B = TelemetryBytes;

namespace {

// The header: ver 0, status 4, sessionInfoUpdate 12, sessionInfoLen 16,
// sessionInfoOffset 20, numVars 24, varHeaderOffset 28, numBuf 32, bufLen 36,
// then each row's tickCount and bufOffset from 48, 16 bytes apart.
constexpr size_t kHeaderSize = 112, kRows = 48, kRowStep = 16;
constexpr uint32_t kConnected = 1;
// A variable's header: type 0, offset 4, count 8, name 16 (32 bytes).
constexpr size_t kVariableSize = 144, kName = 16, kNameSize = 32;
// The types: char, bool, int, bit field, float, double.
constexpr int kTypeBytes[] = {1, 1, 4, 4, 4, 8};

const char *const kNames[] = {"RPM",
                              "Gear",
                              "HandbrakeRaw",
                              "IsOnTrack",
                              "IsReplayPlaying",
                              "PlayerCarSLShiftRPM",
                              "PlayerCarSLBlinkRPM",
                              "PlayerCarSLLastRPM",
                              "SessionFlags",
                              "EngineWarnings",
                              "BrakeABSactive",
                              "OnPitRoad"};
const char *const kSessionKeys[] = {
    "DriverCarSLShiftRPM:", "DriverCarSLBlinkRPM:", "DriverCarSLLastRPM:", "DriverCarRedLine:"};
enum SessionRpm { SessionShift, SessionBlink, SessionLast, RedLine };

// SessionFlags' bits, by the flag they show, the most important first.
struct FlagBits
{
    uint32_t bits;
    TelemetryDecoder::Flag flag;
};
constexpr FlagBits kFlagBits[] = {
    {0x10, TelemetryDecoder::Flag::Red},
    {0x10000 | 0x20000, TelemetryDecoder::Flag::Black}, // black, disqualified
    {0x1, TelemetryDecoder::Flag::Chequered},
    {0x4000 | 0x8000, TelemetryDecoder::Flag::SafetyCar}, // caution, caution waving
    {0x8 | 0x100, TelemetryDecoder::Flag::Yellow},        // yellow, yellow waving
    {0x20, TelemetryDecoder::Flag::Blue},
    {0x2, TelemetryDecoder::Flag::White},
    {0x4 | 0x400, TelemetryDecoder::Flag::Green}, // green, green held
};
constexpr uint32_t kPitSpeedLimiter = 0x10; // in EngineWarnings

float plausibleOrZero(double rpm)
{
    return rpm > 0 && rpm <= B::MaxRpm ? float(rpm) : 0.0f;
}

} // namespace

IRacingMemory::IRacingMemory()
    : SharedMemoryGame(TelemetryDecoder::IRacing, {QStringLiteral("Local\\IRSDKMemMapFileName")})
{
}

void IRacingMemory::forget()
{
    haveLayout = false;
    haveSession = false;
    haveTick = false;
    sessionRpms = {};
}

SharedMemoryGame::Read IRacingMemory::read(TelemetryDecoder::Sample *s, uint64_t *progress)
{
    unsigned char header[kHeaderSize];
    Read read = Nothing;
    // The newest row, taken again if the game wrote it while it was copied.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!block(0).read(0, header, sizeof header))
            return tooShort(0);
        const int32_t version = B::s32(header, 0);
        if (version != 1 && version != 2)
            return unreadable(QStringLiteral("layout version %1 is not known").arg(version));
        const int32_t rows = B::s32(header, 32), rowBytes = B::s32(header, 36);
        const int32_t count = B::s32(header, 24);
        if (rows < 1 || rows > MaxBuffers || rowBytes < 1 || rowBytes > MaxRowBytes || count < 0 ||
            count > MaxVars)
            return unreadable(QStringLiteral("a header no game writes"));
        int newest = 0;
        for (int i = 1; i < rows; ++i)
            if (B::s32(header, kRows + kRowStep * size_t(i)) >
                B::s32(header, kRows + kRowStep * size_t(newest)))
                newest = i;
        const size_t tickAt = kRows + kRowStep * size_t(newest);
        const int32_t tick = B::s32(header, tickAt);
        s->format = format();
        s->hasRaceOn = true;
        *progress = uint32_t(tick);
        if (!(B::u32(header, 4) & kConnected)) {
            s->raceOn = false;
            s->hasRpm = false;
            return Readable;
        }
        if (haveTick && tick == lastTick)
            return Nothing;
        const Read found = findVariables(size_t(B::u32(header, 28)), count, size_t(rowBytes));
        if (found != Readable)
            return found;
        if (!haveSession || B::s32(header, 12) != sessionUpdate) {
            haveSession = true;
            sessionUpdate = B::s32(header, 12);
            readSessionInfo(size_t(B::u32(header, 20)), B::s32(header, 16));
        }
        row.resize(size_t(rowBytes));
        unsigned char again[4];
        if (!block(0).read(size_t(B::u32(header, tickAt + 4)), row.data(), row.size()) ||
            !block(0).read(tickAt, again, sizeof again))
            return tooShort(0);
        if (B::s32(again, 0) == tick) {
            haveTick = true;
            lastTick = tick;
            read = Readable;
            break;
        }
    }
    if (read != Readable)
        return Nothing;

    const double rpm = value(Rpm), gear = value(Gear);
    if (!(rpm >= 0 && rpm <= B::MaxRpm) || !(gear >= -1 && gear <= B::MaxForwardGears))
        return unreadable(QStringLiteral("values no game writes"));
    s->rpm = float(rpm);
    s->hasGear = variables[Gear].present;
    s->gear = int(gear);
    s->hasHandbrake = variables[Handbrake].present;
    s->handbrake = value(Handbrake) >= 0.1;
    s->raceOn = (!variables[OnTrack].present || value(OnTrack) != 0) && value(ReplayPlaying) == 0;
    // The live shift lights where the game has them, else the session's.
    auto pick = [](float live, float session) { return live > 0 ? live : session; };
    const float shift = pick(rpmValue(ShiftRpm), sessionRpms[SessionShift]);
    const float blink = pick(pick(rpmValue(BlinkRpm), rpmValue(LastRpm)),
                             pick(sessionRpms[SessionBlink], sessionRpms[SessionLast]));
    s->maxRpm = std::max(pick(blink, sessionRpms[RedLine]), shift);
    s->car = sessionCar;
    s->hasShiftSignal = shift > 0;
    s->shiftSignal = s->hasShiftSignal && s->rpm >= shift;
    if ((s->hasFlag = variables[SessionFlags].present)) {
        const uint32_t flags = bits(SessionFlags);
        for (const FlagBits &f : kFlagBits) {
            if (flags & f.bits) {
                s->flag = f.flag;
                break;
            }
        }
    }
    s->hasLimiter = variables[EngineWarnings].present;
    s->limiter = bits(EngineWarnings) & kPitSpeedLimiter;
    s->hasAbs = variables[AbsActive].present;
    s->abs = value(AbsActive) != 0;
    s->hasPitLane = variables[OnPitRoad].present;
    s->pitLane = value(OnPitRoad) != 0;
    return Readable;
}

SharedMemoryGame::Read IRacingMemory::findVariables(size_t headerOffset, int count, size_t rowBytes)
{
    const std::array<int32_t, 3> key{int32_t(headerOffset), count, int32_t(rowBytes)};
    if (haveLayout && key == layout)
        return Readable;
    table.resize(size_t(count) * kVariableSize);
    if (!block(0).read(headerOffset, table.data(), table.size()))
        return tooShort(0);
    variables = {};
    for (int k = 0; k < count; ++k) {
        const unsigned char *v = table.data() + size_t(k) * kVariableSize;
        char name[kNameSize + 1] = {};
        std::memcpy(name, v + kName, kNameSize);
        for (int w = 0; w < WantedCount; ++w) {
            if (std::strcmp(name, kNames[w]) != 0)
                continue;
            const int32_t type = B::s32(v, 0), offset = B::s32(v, 4);
            if (type < 0 || type > 5 || offset < 0 ||
                size_t(offset) + size_t(kTypeBytes[type]) > rowBytes)
                return unreadable(QStringLiteral("the variable %1 lies outside its row")
                                      .arg(QLatin1String(kNames[w])));
            variables[size_t(w)] = {true, type, size_t(offset)};
        }
    }
    if (!variables[Rpm].present)
        return unreadable(QStringLiteral("it has no RPM"));
    haveLayout = true;
    layout = key;
    return Readable;
}

// The shift lights of the player's car, from the session's text: lines
// such as " DriverCarSLShiftRPM: 7250.000".
void IRacingMemory::readSessionInfo(size_t offset, int length)
{
    sessionRpms = {};
    sessionCar = {};
    if (length <= 0 || length > MaxSessionInfoBytes)
        return;
    QByteArray text(length, Qt::Uninitialized);
    if (!block(0).read(offset, text.data(), size_t(length)))
        return;
    for (size_t k = 0; k < sessionRpms.size(); ++k) {
        const int at = text.indexOf(kSessionKeys[k]);
        if (at < 0)
            continue;
        const int from = at + int(std::strlen(kSessionKeys[k]));
        int start = from;
        while (start < text.size() && text[start] == ' ')
            ++start;
        int end = start;
        while (end < text.size() && text[end] != ' ' && text[end] != '\n' && text[end] != '\r')
            ++end;
        sessionRpms[k] = plausibleOrZero(text.mid(start, end - start).toDouble());
    }
    // The player's car: DriverCarIdx names its entry in the drivers' list,
    // "- CarIdx: N", whose CarScreenName comes before the next entry. The
    // text is ISO-8859-1.
    const QByteArray driverKey("DriverCarIdx:");
    const int driver = text.indexOf(driverKey);
    if (driver < 0)
        return;
    const int lineEnd = text.indexOf('\n', driver);
    const QByteArray index =
        text.mid(driver + driverKey.size(), lineEnd < 0 ? -1 : lineEnd - driver - driverKey.size())
            .trimmed();
    const QByteArray entryKey = "- CarIdx: " + index;
    for (int entry = text.indexOf(entryKey); entry >= 0;
         entry = text.indexOf(entryKey, entry + 1)) {
        const int after = entry + entryKey.size();
        if (after < text.size() && text[after] != '\n' && text[after] != '\r')
            continue; // "- CarIdx: 12" when looking for 1
        const int next = text.indexOf("- CarIdx:", after);
        const int name = text.indexOf("CarScreenName:", after);
        if (name < 0 || (next >= 0 && name > next))
            return;
        const int end = text.indexOf('\n', name);
        const int from = name + int(std::strlen("CarScreenName:"));
        TelemetryDecoder::setCar(
            &sessionCar, QString::fromLatin1(text.mid(from, end < 0 ? -1 : end - from).trimmed()));
        return;
    }
}

double IRacingMemory::value(Wanted which) const
{
    const Variable &v = variables[which];
    if (!v.present)
        return 0;
    const unsigned char *p = row.data() + v.offset;
    switch (v.type) {
    case 0:
    case 1:
        return p[0];
    case 2:
        return B::s32(p, 0);
    case 3:
        return B::u32(p, 0);
    case 4:
        return B::f32(p, 0);
    default:
        return B::f64(p, 0);
    }
}

uint32_t IRacingMemory::bits(Wanted which) const
{
    const Variable &v = variables[which];
    return v.present && (v.type == 2 || v.type == 3) ? B::u32(row.data(), v.offset) : 0;
}

float IRacingMemory::rpmValue(Wanted which) const
{
    return plausibleOrZero(value(which));
}
