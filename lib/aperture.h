// The layout of the controller's aperture: video memory at its base, the
// register window 8 MiB above it, and inside the window the mirrored VGA
// ports and the TV-encoder registers.  Written once here for the mapping, the
// device checks, the simulated controller and the tools.
//
// Constants only, on no other header, so that the device checks of the
// hardware flavour can include it alone.
#pragma once

#include <cstdint>

namespace kova::decode {

inline constexpr std::uint32_t kFrameBufferOffset = 0x000000;
// The video memory the engines address and the mapping makes visible.
inline constexpr std::uint32_t kVideoMemoryLength = 0x400000; // 4 MiB
inline constexpr std::uint32_t kRegisterWindowOffset = 0x800000;
inline constexpr std::uint32_t kRegisterWindowLength = 0x100000; // 1 MiB
inline constexpr std::uint32_t kApertureSpan = kRegisterWindowOffset + kRegisterWindowLength;
// In the register window: the mirrored VGA ports below kPortSpan, the 16-bit
// TV and audio registers at kTvBase + index.
inline constexpr std::uint32_t kPortSpan = 0x10000;
inline constexpr std::uint32_t kTvBase = 0xB0000;
inline constexpr std::uint32_t kTvSpan = 0x10000;

} // namespace kova::decode
