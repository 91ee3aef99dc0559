// The current display mode as the CRT and graphics registers describe it:
// visible width and height from the display-end registers, pixel depth from
// GR 77.  Shared by the screen environment (portmem) and the screen queries
// (utility), which read the same registers in the same order.
#pragma once

#include <cstdint>
#include "register_map.h"
#include "vga_ports.h"

namespace kova::screen {

using namespace kova::vga;

// Horizontal display end plus one, in character clocks of 8 pixels.
constexpr std::uint16_t visible_width(std::uint8_t cr01, std::uint8_t cr53) {
    return static_cast<std::uint16_t>((cr01 + 256u * reg::kExtendedHorizontal.field().extract(cr53)) * 8u +
                                      8u);
}

// Vertical display end plus one.
constexpr std::uint16_t visible_height(std::uint8_t cr12, std::uint8_t cr07, std::uint8_t gr11) {
    return static_cast<std::uint16_t>(cr12 + 256u * reg::overflow::kVde8.extract(cr07) +
                                      512u * reg::overflow::kVde9.extract(cr07) +
                                      1024u * reg::kExtendedVertical.field().extract(gr11) + 1u);
}

// Depth code of GR 77 to bits per pixel: code 3 is 32 bits and code 4 is 24;
// codes 2 and 6 are both 16; codes 0, 5 and 7 are 4.
constexpr std::uint8_t bits_per_pixel(std::uint8_t gr77) {
    switch (reg::kPixelDepth.field().extract(gr77)) {
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
