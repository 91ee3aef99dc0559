// The controller's VGA ports, as mirrored into the register window (window
// offset = port) and reached by direct port I/O.
#pragma once

#include <cstdint>

namespace kova::vga {

inline constexpr std::uint16_t kSrIndexPort = 0x3C4; // sequencer (SR)
inline constexpr std::uint16_t kSrDataPort = 0x3C5;
inline constexpr std::uint16_t kGrIndexPort = 0x3CE; // graphics controller (GR)
inline constexpr std::uint16_t kGrDataPort = 0x3CF;
inline constexpr std::uint16_t kCrIndexPort = 0x3D4; // CRT controller (CR)
inline constexpr std::uint16_t kCrDataPort = 0x3D5;
inline constexpr std::uint16_t kInputStatusPort = 0x3DA; // bit 3: vertical retrace, bit 0: blanking

} // namespace kova::vga
