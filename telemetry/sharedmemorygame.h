// SPDX-License-Identifier: MIT
#ifndef SHAREDMEMORYGAME_H
#define SHAREDMEMORYGAME_H

#include "sharedmemoryblock.h"
#include "telemetrydecoder.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// One sim that shares its telemetry in named blocks of memory: its blocks,
// opened together, and how a consistent snapshot of them is read. Fields are
// read at fixed offsets, little-endian, never by laying the sim's structs
// over the bytes: wchar_t and long differ between Windows and Linux, and the
// 64-bit sims' layouts between 32- and 64-bit builds.
class SharedMemoryGame
{
public:
    enum Read {
        Nothing,   // no new snapshot now: the sim is writing, or has not moved
        Readable,  // sample filled
        Unreadable // not a layout this reader knows, or cut short; why() says which
    };

    virtual ~SharedMemoryGame();
    SharedMemoryGame(const SharedMemoryGame &) = delete;
    SharedMemoryGame &operator=(const SharedMemoryGame &) = delete;

    TelemetryDecoder::Format format() const { return gameFormat; }
    // Opens each of the sim's blocks; false, with none left open, while one
    // is missing (the sim is not running).
    bool open(const QString &folder);
    void close();
    bool isOpen() const;

    // One snapshot. progress is a number that moves while the sim writes,
    // set whenever the snapshot was consistent (Readable), so that a sim that
    // has stopped, or a file it left behind, can be told from one that runs.
    virtual Read read(TelemetryDecoder::Sample *sample, uint64_t *progress) = 0;
    QString why() const { return reason; }

    // Every sim this program reads here, in the order they are looked for.
    static std::vector<std::unique_ptr<SharedMemoryGame>> all();
    // The reader of one of them (on any system), or none for another format.
    static std::unique_ptr<SharedMemoryGame> make(TelemetryDecoder::Format format);

protected:
    SharedMemoryGame(TelemetryDecoder::Format format, std::vector<QString> names);
    const SharedMemoryBlock &block(size_t index) const { return *blocks[index]; }
    // Sets why() and returns Unreadable.
    Read unreadable(const QString &why);
    // Cut short: the block ends before the field.
    Read tooShort(size_t block);
    // Called when the blocks close: forget what was learnt of their layout.
    virtual void forget() {}

private:
    const TelemetryDecoder::Format gameFormat;
    const std::vector<QString> names;
    std::vector<std::unique_ptr<SharedMemoryBlock>> blocks;
    QString reason;
};

#endif // SHAREDMEMORYGAME_H
