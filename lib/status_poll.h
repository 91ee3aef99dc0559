// Bounded polling of display status bits, shared by every wait of the library
// that has no bound of its own (sync waits, display detection, sync lock).
#pragma once

#include <cstdio>

namespace kova {

// The most reads of a status bit a wait makes before it gives up.  A register
// read over the bus takes about a microsecond, so this is about one second on
// real hardware: dozens of frames even of a slow interlaced display.
inline constexpr unsigned long kStatusPollLimit = 1000000;

// Reads the status with read() until done(status) holds, at most
// kStatusPollLimit times.  Returns true when the condition was seen; otherwise
// prints one warning line naming the wait on standard output and returns false
// so that the caller can carry on.
template <typename Read, typename Done>
bool poll_status(const char *wait_name, Read read, Done done) {
    for (unsigned long reads = 0; reads < kStatusPollLimit; ++reads)
        if (done(read())) return true;
    std::printf("Warning: %s: display status did not change in %lu reads, carrying on\n", wait_name,
                kStatusPollLimit);
    return false;
}

} // namespace kova
