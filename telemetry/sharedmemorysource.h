// SPDX-License-Identifier: MIT
#ifndef SHAREDMEMORYSOURCE_H
#define SHAREDMEMORYSOURCE_H

#include "sharedmemorygame.h"
#include "telemetrydecoder.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

// The sims that share their telemetry in memory, beside the UDP sockets:
// each is looked for about once a second, and while one is found it is read
// about 60 times a second. Only data that moves drives: a sim that stops
// writing for SilenceMs (it exited, or left its file behind under Linux) is
// let go, nothing of it kept mapped, and looked for again.
class SharedMemorySource
{
public:
    using Take = std::function<void(const TelemetryDecoder::Sample &)>;
    using Say = std::function<void(const QString &)>;

    static constexpr int LookMs = 1000;
    static constexpr int ReadMs = 16;
    static constexpr int SilenceMs = 2000;
    // How long a sim just found has to show that it moves.
    static constexpr int FirstMoveMs = 250;

    // folder: where the Proton bridge keeps its files on Linux; unused on
    // Windows, where the sims' named mappings are opened.
    explicit SharedMemorySource(
        const QString &folder = defaultFolder(),
        std::vector<std::unique_ptr<SharedMemoryGame>> games = SharedMemoryGame::all());
    ~SharedMemorySource();

    static QString defaultFolder();

    // Looks for the sims that are due and reads those found; each new
    // snapshot goes to take, a sim that cannot be read to say (once, until
    // it can be again). Returns whether any snapshot was taken.
    bool poll(qint64 nowMs, const Take &take, const Say &say);
    // Milliseconds until poll has something to do.
    int msUntilPoll(qint64 nowMs) const;
    // How many sims are open now.
    int openCount() const;

private:
    struct Slot
    {
        std::unique_ptr<SharedMemoryGame> game;
        qint64 nextLook = 0;
        bool hasProgress = false;
        uint64_t progress = 0;
        qint64 lastMoved = 0;
        bool unreadableSaid = false;
    };
    void let(Slot &slot, qint64 nowMs);

    const QString folder;
    std::vector<Slot> sims;
};

#endif // SHAREDMEMORYSOURCE_H
