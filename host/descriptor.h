// The programs' own files (traces, dumps, pictures, streams, sources, the
// register lock) never take descriptors 0-2: when standard input, output or
// error is closed, the kernel hands out that number first, and what the
// program or capview then writes to its standard output would land in the
// file.  A closed standard descriptor stays closed.
#pragma once

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace kova::tool {

// The descriptor itself when above 2 (or -1); else a close-on-exec copy of it
// above 2, the low one closed.  -1 with errno set when no copy can be made.
inline int above_standard_descriptors(int fd) {
    if (fd < 0 || fd > STDERR_FILENO) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int saved = errno;
    close(fd);
    errno = saved;
    return moved;
}

// open(2), close-on-exec, never on descriptors 0-2.
inline int open_above_standard(const char *path, int flags, mode_t mode = 0) {
    return above_standard_descriptors(open(path, flags | O_CLOEXEC, mode));
}

// A stdio stream on open_above_standard (`mode` "rb" or "wb").
inline std::FILE *fopen_above_standard(const char *path, const char *mode) {
    const bool reading = mode[0] == 'r';
    const int fd =
        open_above_standard(path, reading ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, reading ? 0 : 0666);
    if (fd < 0) return nullptr;
    std::FILE *file = fdopen(fd, mode);
    if (file == nullptr) close(fd);
    return file;
}

} // namespace kova::tool
