// A program's own standard output is written or the program fails: the last
// step flushes it, and a write that failed (a closed descriptor, a full disk,
// a broken pipe) is reported.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kova::tool {

// Why the first flush of standard output failed (0: none failed yet); the
// stream itself keeps only that one did.
inline int g_standard_output_error = 0;

// std::fflush(stdout) that keeps the reason of a failure for the end.
inline void flush_standard_output() {
    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout) != 0) && g_standard_output_error == 0)
        g_standard_output_error = errno;
}

// Flushes standard output for the last time.  True when everything written
// to it arrived (a closed standard output that was given nothing is fine);
// else false after "PROGRAM: write error: REASON" on standard error.  The
// stream stays open and its error is cleared, so that a program's logic run
// again in the same process (as the fuzzers run it) starts clean; the
// descriptor itself closes when the process ends.
inline bool close_standard_output(const char *program) {
    flush_standard_output();
    const bool failed = std::ferror(stdout) != 0;
    int reason = g_standard_output_error;
    if (reason == 0 && fcntl(STDOUT_FILENO, F_GETFD) < 0) reason = errno; // a closed descriptor: EBADF
    std::clearerr(stdout);
    g_standard_output_error = 0;
    if (!failed) return true;
    if (reason != 0)
        std::fprintf(stderr, "%s: write error: %s\n", program, std::strerror(reason));
    else
        std::fprintf(stderr, "%s: write error\n", program);
    return false;
}

} // namespace kova::tool
