// Small builders of expected trace lines for indexed and port accesses, so
// that long register sequences read like the sequences they check.
#pragma once

#include "sim_fixture.h"

#include <cstdio>
#include <string>

namespace trace_lines {

inline std::string line(const char *format, unsigned a, unsigned b) {
    char text[40];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// Index write, then one data read or write on the GR, CR pairs.
inline Lines gr_read(unsigned index, unsigned value) {
    return {line("w8 003CE %02X", index, 0), line("r8 003CF %02X", value, 0)};
}
inline Lines gr_write(unsigned index, unsigned value) {
    return {line("w8 003CE %02X", index, 0), line("w8 003CF %02X", value, 0)};
}
inline Lines cr_read(unsigned index, unsigned value) {
    return {line("w8 003D4 %02X", index, 0), line("r8 003D5 %02X", value, 0)};
}
// Single ports and TV registers.
inline std::string port_read(unsigned port, unsigned value) {
    return line("r8 %05X %02X", port, value);
}
inline std::string port_write(unsigned port, unsigned value) {
    return line("w8 %05X %02X", port, value);
}
inline std::string tv_read(unsigned index, unsigned value) {
    return line("r16 %05X %04X", 0xB0000 + index, value);
}
inline std::string tv_write(unsigned index, unsigned value) {
    return line("w16 %05X %04X", 0xB0000 + index, value);
}

inline Lines operator+(Lines a, const Lines &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Lines operator+(Lines a, const std::string &b) {
    a.push_back(b);
    return a;
}

// The registers that describe the display mode.
struct ScreenRegisters {
    unsigned cr01, cr53, cr12, cr07, gr11, gr77;
};
inline void set_screen(kova::sim::Controller &sim, const ScreenRegisters &r) {
    using kova::sim::Reg;
    sim.set(Reg::cr(0x01), static_cast<std::uint8_t>(r.cr01));
    sim.set(Reg::cr(0x53), static_cast<std::uint8_t>(r.cr53));
    sim.set(Reg::cr(0x12), static_cast<std::uint8_t>(r.cr12));
    sim.set(Reg::cr(0x07), static_cast<std::uint8_t>(r.cr07));
    sim.set(Reg::gr(0x11), static_cast<std::uint8_t>(r.gr11));
    sim.set(Reg::gr(0x77), static_cast<std::uint8_t>(r.gr77));
}
// The reads of the display-end registers, in the order both readers make them.
inline Lines display_end_reads(const ScreenRegisters &r) {
    return cr_read(0x01, r.cr01) + cr_read(0x07, r.cr07) + cr_read(0x12, r.cr12) + cr_read(0x53, r.cr53) +
           gr_read(0x11, r.gr11);
}

inline constexpr ScreenRegisters k640x480x16{0x4F, 0x00, 0xDF, 0x02, 0x00, 0x02};
inline constexpr ScreenRegisters k800x600x16{0x63, 0x00, 0x57, 0x40, 0x00, 0x02};
inline constexpr ScreenRegisters k1024x768x24{0x7F, 0x00, 0xFF, 0x40, 0x00, 0x04};

} // namespace trace_lines
