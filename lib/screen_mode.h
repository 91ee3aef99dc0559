// The current display mode as the CRT and graphics registers describe it:
// visible width and height from the display-end registers, pixel depth from
// GR 77.  Shared by the screen environment (portmem) and the screen queries
// (utility), which read the same registers in the same order.
#pragma once

#include <cstdint>
#include "vga_ports.h"

namespace kova::screen {

using namespace kova::vga;

// CRT registers (index at 0x3D4, data at 0x3D5), in the order they are read.
inline constexpr std::uint8_t kCrHorizontalDisplayEnd = 0x01; // bits 7..0
inline constexpr std::uint8_t kCrOverflow = 0x07;             // bit 1: VDE bit 8, bit 6: VDE bit 9
inline constexpr std::uint8_t kCrVerticalDisplayEnd = 0x12;   // bits 7..0
inline constexpr std::uint8_t kCrExtendedHorizontal = 0x53;   // bit 1: HDE bit 8
// Graphics registers (index at 0x3CE, data at 0x3CF).
inline constexpr std::uint8_t kGrExtendedVertical = 0x11; // bit 1: VDE bit 10
inline constexpr std::uint8_t kGrPixelDepth = 0x77;       // bits 2..0: depth code

constexpr unsigned bit(std::uint8_t value, unsigned n) {
    return (value >> n) & 1u;
}

// Horizontal display end plus one, in character clocks of 8 pixels.
constexpr std::uint16_t visible_width(std::uint8_t cr01, std::uint8_t cr53) {
    return static_cast<std::uint16_t>((cr01 + 256u * bit(cr53, 1)) * 8u + 8u);
}

// Vertical display end plus one.
constexpr std::uint16_t visible_height(std::uint8_t cr12, std::uint8_t cr07, std::uint8_t gr11) {
    return static_cast<std::uint16_t>(cr12 + 256u * bit(cr07, 1) + 512u * bit(cr07, 6) +
                                      1024u * bit(gr11, 1) + 1u);
}

// Depth code of GR 77 bits 2..0 to bits per pixel: code 3 is 32 bits and code
// 4 is 24; codes 2 and 6 are both 16; codes 0, 5 and 7 are 4.
constexpr std::uint8_t bits_per_pixel(std::uint8_t gr77) {
    switch (gr77 & 0x07) {
    case 1:
        return 8;
    case 2:
    case 6:
        return 16;
    case 3:
        return 32;
    case 4:
        return 24;
    default:
        return 4;
    }
}

} // namespace kova::screen
