// SPDX-License-Identifier: MIT
// The sims' shared memory with arbitrary bytes where the sims write theirs:
// each sim's blocks laid out as the sim would, then overwritten in places
// (mostly the fields the readers look at) and now and then cut short, read
// by the source and shown by the lights.
#include "fuzzsupport.h"
#include "sharedmemorylayouts.h"
#include "sharedmemorysource.h"
#include "telemetrylights.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Format = TelemetryDecoder::Format;

// Where each sim's fields are, so that most writes land on one or near it.
struct Field
{
    int block;
    size_t offset;
};
const std::vector<Field> &fieldsOf(Format sim)
{
    static const std::vector<Field> iracing = {
        {0, 0},    {0, 4},    {0, 12},   {0, 16},   {0, 20},   {0, 24},   {0, 28},
        {0, 32},   {0, 36},   {0, 48},   {0, 52},   {0, 64},   {0, 68},   {0, 80},
        {0, 112},  {0, 116},  {0, 256},  {0, 260},  {0, 272},  {0, 1264}, {0, 1300},
        {0, 4096}, {0, 4100}, {0, 4104}, {0, 4108}, {0, 4112}, {0, 4116}, {0, 4160}};
    static const std::vector<Field> ac = {
        {0, 0}, {0, 16},  {0, 20},  {0, 248},  {0, 340},  {0, 344},  {0, 672},  {0, 676}, {1, 0},
        {1, 4}, {1, 268}, {1, 276}, {1, 1224}, {1, 1236}, {1, 1524}, {1, 1528}, {2, 0},   {2, 412}};
    static const std::vector<Field> pcars2 = {{0, 0},    {0, 8},    {0, 6444}, {0, 6800},
                                              {0, 6808}, {0, 6816}, {0, 6852}, {0, 6856},
                                              {0, 6876}, {0, 6888}, {0, 7320}, {0, 7404}};
    static const std::vector<Field> rfactor2 = {
        {0, 0},    {0, 4},    {0, 12},   {0, 1904}, {0, 1916}, {0, 2256}, {0, 2260},
        {0, 2436}, {1, 0},    {1, 4},    {1, 116},  {1, 120},  {1, 127},  {1, 560},
        {1, 756},  {1, 1144}, {1, 1340}, {0, 16},   {0, 3792}, {0, 2508}, {0, 2521},
        {0, 2522}, {1, 121},  {1, 758},  {1, 1064}, {1, 1065}};
    static const std::vector<Field> lmu = {
        {0, 1700},   {0, 1740},   {0, 1747},   {0, 128464}, {0, 128465}, {0, 128466},
        {0, 132256}, {0, 132596}, {0, 132600}, {0, 132776}, {0, 1736},   {0, 1741},
        {0, 2388},   {0, 2390},   {0, 2696},   {0, 132848}, {0, 132861}};
    static const std::vector<Field> raceroom = {
        {0, 0},    {0, 4},    {0, 20},   {0, 24},   {0, 28},   {0, 44},   {0, 848},
        {0, 932},  {0, 964},  {0, 968},  {0, 976},  {0, 1196}, {0, 1396}, {0, 1400},
        {0, 1404}, {0, 1408}, {0, 1536}, {0, 1540}, {0, 1568}, {0, 1572}};
    static const std::vector<Field> acEvo = {
        {0, 0},  {0, 16}, {0, 20}, {0, 248},  {0, 344},  {0, 588},  {1, 0},    {1, 4},
        {1, 40}, {1, 44}, {1, 84}, {1, 2404}, {1, 2408}, {1, 3086}, {1, 3116}, {1, 3120}};
    switch (sim) {
    case TelemetryDecoder::IRacing:
        return iracing;
    case TelemetryDecoder::AssettoCorsaMemory:
        return ac;
    case TelemetryDecoder::ProjectCars2Memory:
        return pcars2;
    case TelemetryDecoder::RFactor2Memory:
        return rfactor2;
    case TelemetryDecoder::RaceRoom:
        return raceroom;
    case TelemetryDecoder::AssettoCorsaEvo:
        return acEvo;
    default:
        return lmu;
    }
}

struct Sim
{
    Format format;
    QString folder;
    std::vector<std::pair<QString, QByteArray>> blocks; // as laid out, to put back
};

std::vector<Sim> &sims()
{
    static QTemporaryDir root;
    static std::vector<Sim> all;
    if (all.empty()) {
        for (Format format : SharedMemoryLayouts::sims()) {
            Sim sim{format, root.path() + QLatin1Char('/') + QString::number(int(format)), {}};
            SharedMemoryLayouts::State state;
            state.rpm = 7000;
            state.shiftRpm = 7500;
            sim.blocks = SharedMemoryLayouts::blocks(format, state);
            if (!QDir().mkpath(sim.folder) ||
                !SharedMemoryLayouts::write(format, sim.folder, state)) {
                std::fprintf(stderr, "fuzz_sharedmemory: cannot write %s\n",
                             qPrintable(sim.folder));
                abort();
            }
            all.push_back(sim);
        }
    }
    return all;
}

int openBlock(const Sim &sim, size_t index)
{
    const QByteArray path = (sim.folder + QLatin1Char('/') + sim.blocks[index].first).toLocal8Bit();
    return ::open(path.constData(), O_RDWR | O_CLOEXEC);
}

// Undoes a write: the bytes as laid out, the size as it was.
void restore(const Sim &sim, size_t index, size_t offset, size_t size)
{
    const QByteArray &bytes = sim.blocks[index].second;
    const int fd = openBlock(sim, index);
    if (fd < 0 || ftruncate(fd, bytes.size()) != 0 ||
        (offset < size_t(bytes.size()) &&
         pwrite(fd, bytes.constData() + offset, std::min(size, size_t(bytes.size()) - offset),
                off_t(offset)) < 0))
        abort();
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const Sim &sim = sims()[in.byte() % sims().size()];
    const std::vector<Field> &fields = fieldsOf(sim.format);
    qint64 now = 1000000;
    TelemetryLights lights(qRgb(1, 2, 3), 0.97, [&now] { return now; });
    std::vector<std::unique_ptr<SharedMemoryGame>> one;
    one.push_back(SharedMemoryGame::make(sim.format));
    SharedMemorySource source(sim.folder, std::move(one));
    auto poll = [&] {
        source.poll(
            now, [&](const TelemetryDecoder::Sample &s) { lights.feed(s); },
            [](const QString &) {});
        lights.colors();
        lights.msUntilChange();
        now += SharedMemorySource::ReadMs;
    };
    poll(); // where it stands

    struct Written
    {
        size_t block, offset, size;
    };
    std::vector<Written> written;
    for (int n = 0; n < 64 && !in.atEnd(); ++n) {
        const uint8_t how = in.byte();
        const uint32_t where = uint32_t(in.int32());
        const Field field = fields[where % fields.size()];
        size_t block = size_t(field.block) % sim.blocks.size();
        size_t offset = field.offset + (where >> 24) % 8;
        if (how & 0x80) { // anywhere
            block = how % sim.blocks.size();
            offset = (where >> 8) % size_t(sim.blocks[block].second.size());
        }
        const int fd = openBlock(sim, block);
        if (fd < 0)
            abort();
        if ((how & 0x7f) == 0x7f) { // cut short
            if (ftruncate(fd, off_t(offset)) != 0)
                abort();
            written.push_back({block, offset, size_t(sim.blocks[block].second.size())});
        } else {
            const int32_t value = in.int32();
            if (pwrite(fd, &value, sizeof value, off_t(offset)) != sizeof value)
                abort();
            written.push_back({block, offset, sizeof value});
        }
        ::close(fd);
        if (how & 0x40)
            poll();
    }
    poll();
    now += SharedMemorySource::SilenceMs;
    poll();
    for (const Written &w : written)
        restore(sim, w.block, w.offset, w.size);
    return 0;
}
