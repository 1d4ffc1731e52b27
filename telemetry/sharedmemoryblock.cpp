// SPDX-License-Identifier: MIT
#include "sharedmemoryblock.h"

#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

SharedMemoryBlock::~SharedMemoryBlock()
{
    close();
}

QString SharedMemoryBlock::fileName(const QString &name)
{
    const QString local = QStringLiteral("Local\\");
    return name.startsWith(local) ? name.mid(local.size()) : name;
}

#ifdef Q_OS_WIN

bool SharedMemoryBlock::open(const QString &, const QString &name)
{
    close();
    const std::wstring wide = name.toStdWString();
    mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, wide.c_str());
    if (!mapping)
        return false;
    view = static_cast<const unsigned char *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    MEMORY_BASIC_INFORMATION info;
    if (!view || VirtualQuery(view, &info, sizeof info) != sizeof info) {
        close();
        return false;
    }
    // The view is the section rounded up to whole pages; all of it is readable.
    viewSize = info.RegionSize;
    return true;
}

void SharedMemoryBlock::close()
{
    if (view)
        UnmapViewOfFile(view);
    if (mapping)
        CloseHandle(mapping);
    view = nullptr;
    mapping = nullptr;
    viewSize = 0;
}

bool SharedMemoryBlock::isOpen() const
{
    return view != nullptr;
}

bool SharedMemoryBlock::read(size_t offset, void *out, size_t size) const
{
    if (!view || offset > viewSize || size > viewSize - offset)
        return false;
    std::memcpy(out, view + offset, size);
    return true;
}

#else

bool SharedMemoryBlock::open(const QString &folder, const QString &name)
{
    close();
    const QByteArray path = (folder + QLatin1Char('/') + fileName(name)).toLocal8Bit();
    fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    // Only a regular file of this user's: anyone may write to /dev/shm, and
    // another user's file is no sim of ours.
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()))
        close();
    return fd >= 0;
}

void SharedMemoryBlock::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool SharedMemoryBlock::isOpen() const
{
    return fd >= 0;
}

bool SharedMemoryBlock::read(size_t offset, void *out, size_t size) const
{
    if (fd < 0 || offset > size_t(INT64_MAX) - size)
        return false;
    auto *to = static_cast<char *>(out);
    while (size > 0) {
        const ssize_t n = pread(fd, to, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // past the end, or not a file that can be read
        to += n;
        offset += size_t(n);
        size -= size_t(n);
    }
    return true;
}

#endif
