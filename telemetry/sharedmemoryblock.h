// SPDX-License-Identifier: MIT
#ifndef SHAREDMEMORYBLOCK_H
#define SHAREDMEMORYBLOCK_H

#include <QString>

#include <cstddef>

// One block of memory that a sim shares by name, opened for reading only.
// On Windows the named file mapping itself; on Linux the file that the
// Proton bridge keeps in its place (in /dev/shm), read with pread so that a
// file cut short under the reader gives a short read, never a SIGBUS.
class SharedMemoryBlock
{
public:
    SharedMemoryBlock() = default;
    ~SharedMemoryBlock();
    SharedMemoryBlock(const SharedMemoryBlock &) = delete;
    SharedMemoryBlock &operator=(const SharedMemoryBlock &) = delete;

    // name as the sim publishes it ("Local\acpmf_physics"); on Linux the
    // file of that name less any "Local\" in folder. False while there is none.
    bool open(const QString &folder, const QString &name);
    void close();
    bool isOpen() const;
    // Copies size bytes from offset; false when the block ends before.
    bool read(size_t offset, void *out, size_t size) const;

    // The name of the file that stands for a mapping on Linux.
    static QString fileName(const QString &name);

private:
#ifdef Q_OS_WIN
    void *mapping = nullptr;
    const unsigned char *view = nullptr;
    size_t viewSize = 0;
#else
    int fd = -1;
#endif
};

#endif // SHAREDMEMORYBLOCK_H
