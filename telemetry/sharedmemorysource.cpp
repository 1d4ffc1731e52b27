// SPDX-License-Identifier: MIT
#include "sharedmemorysource.h"

#include <algorithm>

SharedMemorySource::SharedMemorySource(const QString &folder,
                                       std::vector<std::unique_ptr<SharedMemoryGame>> games)
    : folder(folder)
{
    for (std::unique_ptr<SharedMemoryGame> &game : games) {
        sims.emplace_back();
        sims.back().game = std::move(game);
    }
}

SharedMemorySource::~SharedMemorySource() = default;

QString SharedMemorySource::defaultFolder()
{
#ifdef Q_OS_WIN
    return QString();
#else
    return QStringLiteral("/dev/shm");
#endif
}

bool SharedMemorySource::poll(qint64 now, const Take &take, const Say &say)
{
    bool took = false;
    for (Slot &slot : sims) {
        SharedMemoryGame &game = *slot.game;
        if (!game.isOpen()) {
            if (now < slot.nextLook)
                continue;
            slot.nextLook = now + LookMs;
            if (!game.open(folder))
                continue;
            // Found: it has a moment to show that it moves. One seen before
            // has to have moved since it was let go.
            if (!slot.hasProgress)
                slot.lastMoved = now - SilenceMs + FirstMoveMs;
        }
        TelemetryDecoder::Sample sample;
        uint64_t progress = 0;
        const SharedMemoryGame::Read read = game.read(&sample, &progress);
        if (read == SharedMemoryGame::Unreadable) {
            if (!slot.unreadableSaid)
                say(QStringLiteral("telemetry: cannot read %1: %2; looking again every second")
                        .arg(TelemetryDecoder::formatName(game.format()), game.why()));
            slot.unreadableSaid = true;
            let(slot, now);
            continue;
        }
        const bool moved =
            read == SharedMemoryGame::Readable && (!slot.hasProgress || progress != slot.progress);
        if (read == SharedMemoryGame::Readable && !slot.hasProgress) {
            // The first look is where it stands, not yet that it moves.
            slot.hasProgress = true;
            slot.progress = progress;
            continue;
        }
        if (!moved) {
            if (now - slot.lastMoved >= SilenceMs)
                let(slot, now);
            continue;
        }
        slot.progress = progress;
        slot.lastMoved = now;
        slot.unreadableSaid = false;
        take(sample);
        took = true;
    }
    return took;
}

void SharedMemorySource::let(Slot &slot, qint64 now)
{
    slot.game->close();
    slot.nextLook = now + LookMs;
}

int SharedMemorySource::msUntilPoll(qint64 now) const
{
    qint64 wait = LookMs;
    for (const Slot &slot : sims)
        wait = std::min(wait, slot.game->isOpen() ? qint64(ReadMs) : slot.nextLook - now);
    return int(std::max<qint64>(0, wait));
}

int SharedMemorySource::openCount() const
{
    return int(std::count_if(sims.begin(), sims.end(),
                             [](const Slot &slot) { return slot.game->isOpen(); }));
}
