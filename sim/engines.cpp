#include "engines.h"

#include <cstdio>

namespace kova::sim {

namespace {

// An overlay window's register file: GR for window 0, SR for window 1.
std::uint8_t ovl(const Controller &sim, int window, std::uint8_t index) {
    return sim.get(window == 0 ? Reg::gr(index) : Reg::sr(index));
}

std::uint16_t ovl16(const Controller &sim, int window, std::uint8_t low) {
    return static_cast<std::uint16_t>(ovl(sim, window, low) |
                                      ovl(sim, window, static_cast<std::uint8_t>(low + 1)) << 8);
}

// A capture engine's register file: GR in bank 0x00 (engine 0) or 0x80 (engine 1).
std::uint8_t cap(const Controller &sim, int engine, std::uint8_t index) {
    return sim.get(Reg::gr(index, engine == 0 ? 0x00 : 0x80));
}

std::uint16_t cap16(const Controller &sim, int engine, std::uint8_t low) {
    return static_cast<std::uint16_t>(cap(sim, engine, low) |
                                      cap(sim, engine, static_cast<std::uint8_t>(low + 1)) << 8);
}

std::uint8_t gr(const Controller &sim, std::uint8_t index, int page = 0x00) {
    return sim.get(Reg::gr(index, page));
}

std::string format(const char *fmt, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

// How much larger a picture comes out than it went in: the overlay steps
// factor/4096 source pixels per screen pixel, the capture engine writes
// factor/4096 pixels per input pixel.
std::string zoom(double ratio) {
    return ratio > 0 ? format("%.3f", ratio) : std::string("-");
}
std::string overlay_zoom(std::uint16_t factor) {
    return zoom(factor ? 4096.0 / factor : 0);
}
std::string capture_zoom(std::uint16_t factor) {
    return zoom(factor / 4096.0);
}

} // namespace

OverlayState overlay_state(const Controller &sim, int window) {
    OverlayState o{};
    const std::uint8_t control = ovl(sim, window, 0xDC);
    o.on = control & 0x80;
    o.wide_source = control & 0x20;
    o.left = static_cast<std::int16_t>(ovl16(sim, window, 0xC5));
    o.right = static_cast<std::int16_t>(ovl16(sim, window, 0xC7));
    o.top = static_cast<std::int16_t>(ovl16(sim, window, 0xC9));
    o.bottom = static_cast<std::int16_t>(ovl16(sim, window, 0xCB));
    o.source = (ovl(sim, window, 0xC0) | ovl(sim, window, 0xC1) << 8 | ovl(sim, window, 0xC2) << 16) * 4u;
    const std::uint8_t c4 = ovl(sim, window, 0xC4);
    o.pitch = (ovl(sim, window, 0xC3) | (c4 & 0x0F) << 8) * 8u;
    o.fetch = ovl(sim, window, 0xCD) | (c4 & 0xF0) << 4;
    o.h_factor = ovl16(sim, window, 0xD3);
    o.v_factor = ovl16(sim, window, 0xD7);
    o.format = ovl(sim, window, 0xDB) & 0x07;
    const std::uint8_t bob_bits = sim.get(Reg::sr(0xA7));
    o.bob = bob_bits & (window == 0 ? 0x04 : 0x08);
    o.bob_double = bob_bits & (window == 0 ? 0x01 : 0x02);
    return o;
}

int overlay_on_top(const Controller &sim) {
    return sim.get(Reg::sr(0xDE)) & 0x01;
}

CaptureState capture_state(const Controller &sim) {
    return capture_state(sim, sim.get(Reg::sr(0xEF)) & 0x02 ? 1 : 0);
}

CaptureState capture_state(const Controller &sim, int engine) {
    CaptureState c{};
    const std::uint8_t control = gr(sim, 0xE8);
    c.enabled = control & 0x01;
    c.held = control & 0x0C;
    c.engine = engine;
    const std::uint16_t start = cap16(sim, c.engine, 0x60);
    const std::uint16_t end = cap16(sim, c.engine, 0x62);
    c.first_pixel = static_cast<std::uint16_t>((start - 1) / 2);
    c.end_pixel = static_cast<std::uint16_t>((end - 2) / 2);
    c.first_line = cap16(sim, c.engine, 0x64);
    c.end_line = cap16(sim, c.engine, 0x66);
    c.destination =
        (cap(sim, c.engine, 0xEB) | cap(sim, c.engine, 0xEC) << 8 | (cap(sim, c.engine, 0xED) & 0x0F) << 16) *
        4u;
    c.pitch = static_cast<std::uint16_t>(cap(sim, c.engine, 0xEE) * 4);
    c.h_factor = cap16(sim, c.engine, 0x6A);
    c.v_factor = cap16(sim, c.engine, 0x6E);
    c.field_scaling = cap(sim, c.engine, 0xEA) & 0x02;

    c.guard_on = sim.get(Reg::sr(0xA2)) & 0x04;
    const std::uint8_t high = c.engine == 0 ? gr(sim, 0x49) & 0x0F : gr(sim, 0x49) >> 4;
    const std::uint32_t q =
        c.engine == 0 ? (gr(sim, 0x45) | gr(sim, 0x46) << 8) : (gr(sim, 0x47) | gr(sim, 0x48) << 8);
    c.guard = (q | static_cast<std::uint32_t>(high) << 16) * 4u;
    c.wide_bus = gr(sim, 0x72) & 0x04;

    c.double_buffer = (gr(sim, 0xAC) & 0x02) && (gr(sim, 0xA9) & 0x10);
    c.back_buffer = (gr(sim, 0xA7) | gr(sim, 0xA8) << 8 | (gr(sim, 0xA9) & 0x0F) << 16) * 4u;
    c.inverted_fields = gr(sim, 0xE9) & 0x20;
    return c;
}

DisplayState display_state(const Controller &sim) {
    static constexpr std::uint8_t kDepths[8] = {4, 8, 16, 32, 24, 4, 16, 4};
    const std::uint8_t cr07 = sim.get(Reg::cr(0x07));
    DisplayState d{};
    d.width = static_cast<std::uint16_t>(
        (sim.get(Reg::cr(0x01)) + 256 * (sim.get(Reg::cr(0x53)) >> 1 & 1)) * 8 + 8);
    d.height = static_cast<std::uint16_t>(sim.get(Reg::cr(0x12)) + 256 * (cr07 >> 1 & 1) +
                                          512 * (cr07 >> 6 & 1) + 1024 * (gr(sim, 0x11) >> 1 & 1) + 1);
    d.bpp = kDepths[gr(sim, 0x77) & 0x07];
    d.pitch = static_cast<std::uint32_t>(d.width) * d.bpp / 8;
    return d;
}

std::string describe(const OverlayState &o, int window) {
    std::string text =
        format("overlay %d: %s, window (%d,%d)-(%d,%d), source 0x%06X pitch %u bytes, zoom %s x %s", window,
               o.on ? "on" : "off", o.left, o.top, o.right, o.bottom, o.source, o.pitch,
               overlay_zoom(o.h_factor).c_str(), overlay_zoom(o.v_factor).c_str());
    text += o.bob ? (o.bob_double ? ", BOB (2:1)" : ", BOB") : ", WEAVE";
    return text + "\n";
}

std::string describe(const CaptureState &c) {
    const char *state = !c.enabled ? "stopped" : c.held ? "held (set up, not writing)" : "running";
    std::string text =
        format("capture: %s, engine %d, input pixels %u-%u lines %u-%u, destination 0x%06X pitch %u "
               "pixels, zoom %s x %s%s\n",
               state, c.engine, c.first_pixel, c.end_pixel, c.first_line, c.end_line, c.destination, c.pitch,
               capture_zoom(c.h_factor).c_str(), capture_zoom(c.v_factor).c_str(),
               c.inverted_fields ? ", fields inverted" : "");
    text += c.guard_on ? format("capture guard: at 0x%06X\n", c.guard) : std::string("capture guard: off\n");
    text += c.double_buffer ? format("double buffering: on, back buffer 0x%06X\n", c.back_buffer)
                            : std::string("double buffering: off\n");
    return text;
}

} // namespace kova::sim
