// SPDX-License-Identifier: MIT
#include "sharedmemorygame.h"

#include "acevomemory.h"
#include "acmemory.h"
#include "iracingmemory.h"
#include "lmumemory.h"
#include "pcars2memory.h"
#include "raceroommemory.h"
#include "rfactor2memory.h"

SharedMemoryGame::SharedMemoryGame(TelemetryDecoder::Format format, std::vector<QString> names)
    : gameFormat(format), names(std::move(names))
{
    for (size_t i = 0; i < this->names.size(); ++i)
        blocks.emplace_back(new SharedMemoryBlock);
}

SharedMemoryGame::~SharedMemoryGame() = default;

std::vector<std::unique_ptr<SharedMemoryGame>> SharedMemoryGame::all()
{
    std::vector<std::unique_ptr<SharedMemoryGame>> games;
    for (TelemetryDecoder::Format format :
         {TelemetryDecoder::IRacing, TelemetryDecoder::AssettoCorsaMemory,
          TelemetryDecoder::ProjectCars2Memory, TelemetryDecoder::LeMansUltimate,
          TelemetryDecoder::RFactor2Memory, TelemetryDecoder::RaceRoom,
          TelemetryDecoder::AssettoCorsaEvo}) {
#ifndef Q_OS_WIN
        // Proton's bridge has none for iRacing: only a native Windows build sees it.
        if (format == TelemetryDecoder::IRacing)
            continue;
#endif
        games.push_back(make(format));
    }
    return games;
}

std::unique_ptr<SharedMemoryGame> SharedMemoryGame::make(TelemetryDecoder::Format format)
{
    switch (format) {
    case TelemetryDecoder::IRacing:
        return std::unique_ptr<SharedMemoryGame>(new IRacingMemory);
    case TelemetryDecoder::AssettoCorsaMemory:
        return std::unique_ptr<SharedMemoryGame>(new AcMemory);
    case TelemetryDecoder::ProjectCars2Memory:
        return std::unique_ptr<SharedMemoryGame>(new PCars2Memory);
    case TelemetryDecoder::RFactor2Memory:
        return std::unique_ptr<SharedMemoryGame>(new RFactor2Memory);
    case TelemetryDecoder::LeMansUltimate:
        return std::unique_ptr<SharedMemoryGame>(new LmuMemory);
    case TelemetryDecoder::RaceRoom:
        return std::unique_ptr<SharedMemoryGame>(new RaceRoomMemory);
    case TelemetryDecoder::AssettoCorsaEvo:
        return std::unique_ptr<SharedMemoryGame>(new AcEvoMemory);
    default:
        return nullptr;
    }
}

bool SharedMemoryGame::open(const QString &folder)
{
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (!blocks[i]->open(folder, names[i])) {
            close();
            return false;
        }
    }
    return true;
}

void SharedMemoryGame::close()
{
    for (const std::unique_ptr<SharedMemoryBlock> &b : blocks)
        b->close();
    forget();
}

bool SharedMemoryGame::isOpen() const
{
    return !blocks.empty() && blocks.front()->isOpen();
}

SharedMemoryGame::Read SharedMemoryGame::unreadable(const QString &why)
{
    reason = why;
    return Unreadable;
}

SharedMemoryGame::Read SharedMemoryGame::tooShort(size_t index)
{
    return unreadable(QStringLiteral("%1 is shorter than its layout")
                          .arg(SharedMemoryBlock::fileName(names[index])));
}
