// Bounded polling of status bits: every wait of the library goes through
// poll(), with its limit and its warning policy as arguments.
#pragma once

#include <cstdio>

namespace kova {

// How a wait gives up and when it warns.
struct PollPolicy {
    // The wait gives up once this many reads have missed.
    unsigned long max_misses;
    // It warns once when at least this many reads missed, also when the last
    // read then found the condition.
    unsigned long warn_from;
};

// Reads the status with read() until done(status) holds or the policy's limit
// of misses is reached; calls warn() once when the policy says so.  Returns
// true when the condition was seen.
template <typename Read, typename Done, typename Warn>
bool poll(PollPolicy policy, Read read, Done done, Warn warn) {
    unsigned long misses = 0;
    bool seen = false;
    while (!(seen = done(read())))
        if (++misses == policy.max_misses) break;
    if (misses >= policy.warn_from) warn();
    return seen;
}

// The shared bound of the waits that have no read count of their own (sync
// waits, display detection, sync lock).  A register read over the bus takes
// about a microsecond, so this is about one second on real hardware: dozens
// of frames even of a slow interlaced display.
inline constexpr unsigned long kStatusPollLimit = 1000000;

// A wait with the shared bound: on a timeout prints one warning line naming
// the wait on standard output and returns false so that the caller can carry
// on.
template <typename Read, typename Done>
bool poll_status(const char *wait_name, Read read, Done done) {
    return poll(PollPolicy{kStatusPollLimit, kStatusPollLimit}, read, done, [wait_name] {
        std::printf("Warning: %s: display status did not change in %lu reads, carrying on\n", wait_name,
                    kStatusPollLimit);
    });
}

} // namespace kova
