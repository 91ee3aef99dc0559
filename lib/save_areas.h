// The library's lock flags and save areas (synclock.h), listed once: the
// globals that a sync lock, a genlock-mode lock and the video-clock switch
// fill and that their clean-ups read.  Each part lists its flags first, then
// its save areas; the lock-state record keeps the parts in this order, and
// the fuzzers reset every global listed here between inputs.
//
// C++ only and header-only, for the tools and tests; the library module
// defines the globals.
#pragma once

#include <cstddef>

#include "synclock.h"

namespace kova::save {

// One global, or one array of them.
struct Area {
    void *data;
    std::size_t width; // bytes per element: 1, 2 or 4
    std::size_t count;

    constexpr std::size_t size() const { return width * count; }
};

template <typename T>
constexpr Area one(T &value) {
    return {&value, sizeof value, 1};
}
template <typename T, std::size_t N>
constexpr Area many(T (&values)[N]) {
    return {values, sizeof values[0], N};
}

// The sync-lock part: the flags of the plain and of the genlock-mode lock, the
// standard and VCR setting, then the save areas the two locks share.
inline constexpr Area kSyncLock[] = {
    one(wSyncLock),  one(wSyncLockGM), one(wVStandard), one(wVCRMode), many(wTVReg16),
    many(dwTVReg32), many(bOldRegCrt), one(b3CE_B0),    one(b3CE_B1),  one(b3CE_BA),
};
// The video-clock part: its flag, then its save area.
inline constexpr Area kVideoClock[] = {
    one(wExtClock), one(bEA),   one(bEB),   one(bEC),   one(bED),   one(bEE),   one(bEF),
    one(bA6),       one(wE5F0), one(wE5F2), one(wE5F4), one(wE5F6), one(wE4EC),
};
// The two bytes the library keeps for callers and never uses.
inline constexpr Area kCallerBytes[] = {one(b3d40), one(b3d41)};

template <std::size_t N>
constexpr std::size_t size_of(const Area (&part)[N]) {
    std::size_t size = 0;
    for (const Area &area : part)
        size += area.size();
    return size;
}

// Where the entry at `index` starts in its part's bytes.  (By position, not
// by the global's address: comparing the addresses of two globals is not a
// constant expression where a sanitizer pads them.)
template <std::size_t N>
constexpr std::size_t offset_of(const Area (&part)[N], std::size_t index) {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < index && i < N; ++i)
        offset += part[i].size();
    return offset;
}

// Where the flags and the standard stand in their parts.
inline constexpr std::size_t kSyncLockFlagAt = 0;   // wSyncLock in kSyncLock
inline constexpr std::size_t kGenlockFlagAt = 1;    // wSyncLockGM in kSyncLock
inline constexpr std::size_t kStandardAt = 2;       // wVStandard in kSyncLock
inline constexpr std::size_t kVideoClockFlagAt = 0; // wExtClock in kVideoClock

} // namespace kova::save
