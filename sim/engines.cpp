#include "engines.h"

#include "register_map.h"
#include "screen_mode.h"

#include <cstdio>

namespace kova::sim {

namespace {

using reg::Register;

// An overlay window's register file: GR for window 0, SR for window 1.
std::uint8_t ovl(const Controller &sim, int window, std::uint8_t index) {
    return sim.get(window == 0 ? Reg::gr(index) : Reg::sr(index));
}

// A multi-byte overlay register, low byte first.
std::uint32_t ovl(const Controller &sim, int window, const Register &r) {
    std::uint32_t value = 0;
    for (unsigned n = 0; n < r.span; ++n)
        value |= static_cast<std::uint32_t>(ovl(sim, window, r.at(n))) << (8 * n);
    return value;
}

// A capture engine's register file: GR in page 0x00 (engine 0) or 0x80 (engine 1).
std::uint32_t cap(const Controller &sim, int engine, const Register &r) {
    const int page = engine == 0 ? reg::page::kCommon : reg::page::kEngine1;
    std::uint32_t value = 0;
    for (unsigned n = 0; n < r.span; ++n)
        value |= static_cast<std::uint32_t>(sim.get(Reg::gr(r.at(n), page))) << (8 * n);
    return value;
}

// A GR or SR register of the map, in its page where it has one.
std::uint8_t get(const Controller &sim, const Register &r) {
    const int page = r.pager == reg::Pager::None ? Reg::kCurrentPage : r.page;
    return sim.get(r.file == reg::File::SR ? Reg::sr(r.at(), page) : Reg::gr(r.at(), page));
}

bool bit(std::uint32_t value, reg::Field f) {
    return f.extract(value) != 0;
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
    using namespace reg;
    OverlayState o{};
    const std::uint8_t control = ovl(sim, window, kOvlControl.at());
    o.on = bit(control, ovl_control::kOn);
    o.wide_source = bit(control, ovl_control::kWide);
    o.left = static_cast<std::int16_t>(ovl(sim, window, kOvlLeft));
    o.right = static_cast<std::int16_t>(ovl(sim, window, kOvlRight));
    o.top = static_cast<std::int16_t>(ovl(sim, window, kOvlTop));
    o.bottom = static_cast<std::int16_t>(ovl(sim, window, kOvlBottom));
    o.source = ovl(sim, window, kOvlStart) * 4u;
    const std::uint8_t pitch_high = ovl(sim, window, kOvlPitchHigh.at());
    o.pitch = (ovl(sim, window, kOvlPitch.at()) | ovl_pitch_high::kPitch.extract(pitch_high) << 8) * 8u;
    o.fetch = ovl(sim, window, kOvlFetch.at()) | ovl_pitch_high::kFetch.extract(pitch_high) << 8;
    o.h_factor = static_cast<std::uint16_t>(ovl(sim, window, kOvlHFactor));
    o.v_factor = static_cast<std::uint16_t>(ovl(sim, window, kOvlVFactor));
    o.format = kOvlFormat.fields[0].extract(ovl(sim, window, kOvlFormat.at()));
    const std::uint8_t field_bits = get(sim, kFieldMode);
    o.bob = bit(field_bits, window == 0 ? field_mode::kBob0 : field_mode::kBob1);
    o.bob_double = bit(field_bits, window == 0 ? field_mode::kDouble0 : field_mode::kDouble1);
    return o;
}

int overlay_on_top(const Controller &sim) {
    return bit(ovl(sim, 1, reg::kOvlDisplay.at()), reg::ovl_display::kWindow1OnTop) ? 1 : 0;
}

CaptureState capture_state(const Controller &sim) {
    return capture_state(sim, bit(get(sim, reg::kClockEF), reg::clock_ef::kEngine1) ? 1 : 0);
}

CaptureState capture_state(const Controller &sim, int engine) {
    using namespace reg;
    CaptureState c{};
    const std::uint8_t control = get(sim, kCaptureControl);
    c.enabled = bit(control, capture_control::kEnable);
    c.held = bit(control, capture_control::kHold) || bit(control, capture_control::kStop);
    c.engine = engine;
    const auto start = static_cast<std::uint16_t>(cap(sim, c.engine, kCapXStart));
    const auto end = static_cast<std::uint16_t>(cap(sim, c.engine, kCapXEnd));
    c.first_pixel = static_cast<std::uint16_t>((start - 1) / 2);
    c.end_pixel = static_cast<std::uint16_t>((end - 2) / 2);
    c.first_line = static_cast<std::uint16_t>(cap(sim, c.engine, kCapYStart));
    c.end_line = static_cast<std::uint16_t>(cap(sim, c.engine, kCapYEnd));
    c.destination = kCapAddress.fields[0].extract(cap(sim, c.engine, kCapAddress)) * 4u;
    c.pitch = static_cast<std::uint16_t>(cap(sim, c.engine, kCapPitch) * 4);
    c.h_factor = static_cast<std::uint16_t>(cap(sim, c.engine, kCapHScale));
    c.v_factor = static_cast<std::uint16_t>(cap(sim, c.engine, kCapVScale));
    c.field_scaling = bit(cap(sim, c.engine, kCapFieldScale), cap_field_scale::kFieldScaling);

    c.guard_on = bit(get(sim, kSafeguard), kSafeguard.fields[0]);
    const std::uint8_t guard_high = get(sim, kGuardHigh);
    const std::uint32_t high =
        (c.engine == 0 ? guard_high::kEngine0 : guard_high::kEngine1).extract(guard_high);
    const std::uint32_t q = c.engine == 0 ? (get(sim, kGuard0Low) | get(sim, kGuard0Mid) << 8)
                                          : (get(sim, kGuard1Low) | get(sim, kGuard1Mid) << 8);
    c.guard = (q | high << 16) * 4u;
    c.wide_bus = bit(get(sim, kMemoryConfig), memory_config::kWideBus);

    const std::uint8_t back_high = get(sim, kBackBufferHigh);
    c.double_buffer = bit(get(sim, kDoubleBufferControl), kDoubleBufferControl.fields[0]) &&
                      bit(back_high, back_buffer_high::kDoubleBuffer);
    c.back_buffer = (get(sim, kBackBufferLow) | get(sim, kBackBufferMid) << 8 |
                     back_buffer_high::kAddress.extract(back_high) << 16) *
                    4u;
    c.inverted_fields = bit(get(sim, kFieldControl), field_control::kInverted);
    return c;
}

DisplayState display_state(const Controller &sim) {
    using namespace reg;
    const auto cr = [&](const Register &r) { return sim.get(Reg::cr(r.at())); };
    DisplayState d{};
    d.width = screen::visible_width(cr(kHorizontalDisplayEnd), cr(kExtendedHorizontal));
    d.height = screen::visible_height(cr(kVerticalDisplayEnd), cr(kOverflow), get(sim, kExtendedVertical));
    d.bpp = screen::bits_per_pixel(get(sim, kPixelDepth));
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
