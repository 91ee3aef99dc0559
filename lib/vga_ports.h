// The controller's VGA ports, as mirrored into the register window (window
// offset = port) and reached by direct port I/O.
#pragma once

#include <cstdint>

#include "register_map.h"

namespace kova::vga {

inline constexpr std::uint16_t kSrIndexPort = reg::kSrIndex.index; // sequencer (SR)
inline constexpr std::uint16_t kSrDataPort = reg::kSrData.index;
inline constexpr std::uint16_t kGrIndexPort = reg::kGrIndex.index; // graphics controller (GR)
inline constexpr std::uint16_t kGrDataPort = reg::kGrData.index;
inline constexpr std::uint16_t kCrIndexPort = reg::kCrIndex.index; // CRT controller (CR)
inline constexpr std::uint16_t kCrDataPort = reg::kCrData.index;
inline constexpr std::uint16_t kInputStatusPort = reg::kInputStatus.index;
inline constexpr std::uint16_t kMiscOutputReadPort = reg::kMiscOutputRead.index;
inline constexpr std::uint16_t kDacMaskPort = reg::kDacMask.index;

// The index and data ports of the indexed files GR, SR and CR.
constexpr std::uint16_t index_port(reg::File file) {
    return file == reg::File::SR ? kSrIndexPort : file == reg::File::CR ? kCrIndexPort : kGrIndexPort;
}
constexpr std::uint16_t data_port(reg::File file) {
    return file == reg::File::SR ? kSrDataPort : file == reg::File::CR ? kCrDataPort : kGrDataPort;
}

} // namespace kova::vga
