// The registers that describe the display mode, preset on the simulated
// controller, and the reads of them that the screen queries make.
#pragma once

#include "sim_fixture.h"

struct ScreenRegisters {
    unsigned cr01, cr53, cr12, cr07, gr11, gr77;
};

inline void set_screen(kova::sim::Controller &sim, const ScreenRegisters &r) {
    using kova::registers::Reg;
    sim.set(Reg::cr(0x01), static_cast<std::uint8_t>(r.cr01));
    sim.set(Reg::cr(0x53), static_cast<std::uint8_t>(r.cr53));
    sim.set(Reg::cr(0x12), static_cast<std::uint8_t>(r.cr12));
    sim.set(Reg::cr(0x07), static_cast<std::uint8_t>(r.cr07));
    sim.set(Reg::gr(0x11), static_cast<std::uint8_t>(r.gr11));
    sim.set(Reg::gr(0x77), static_cast<std::uint8_t>(r.gr77));
}

// The reads of the display-end registers, in the order both readers make them.
inline Lines display_end_reads(const ScreenRegisters &r) {
    return {reg_read(CR, 0x01, r.cr01), reg_read(CR, 0x07, r.cr07), reg_read(CR, 0x12, r.cr12),
            reg_read(CR, 0x53, r.cr53), reg_read(GR, 0x11, r.gr11)};
}

inline constexpr ScreenRegisters k640x480x16{0x4F, 0x00, 0xDF, 0x02, 0x00, 0x02};
inline constexpr ScreenRegisters k800x600x16{0x63, 0x00, 0x57, 0x40, 0x00, 0x02};
inline constexpr ScreenRegisters k1024x768x24{0x7F, 0x00, 0xFF, 0x40, 0x00, 0x04};
