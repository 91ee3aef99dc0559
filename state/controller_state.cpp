#include "controller_state.h"

#include "decode.h"
#include "register_map.h"
#include "synclock.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include <cstdio>

namespace kova::state {

namespace {

using reg::Address;
using reg::File;
using reg::Register;

std::uint8_t byte(RegisterReader &r, File file, std::uint8_t index, int page) {
    switch (file) {
    case File::SR:
        return r.sr(index, page);
    case File::CR:
        return r.cr(index);
    default:
        return r.gr(index, page);
    }
}

// A register of the map, low byte first over its span.  A paged register is
// read in its own page, or in `page` when the map leaves it to the caller.
std::uint32_t read_in(RegisterReader &r, File file, const Register &g, int page) {
    if (g.file == File::TV) return r.tv(g.index);
    if (g.file == File::Port) return r.port(g.index);
    const int in = g.pager != reg::Pager::None && g.page != reg::kCurrentPage ? g.page : page;
    std::uint32_t value = 0;
    for (unsigned n = 0; n < g.span; ++n)
        value |= static_cast<std::uint32_t>(byte(r, file, g.at(n), in)) << (8 * n);
    return value;
}

// The page the library leaves selected after its sequences.
std::uint32_t get(RegisterReader &r, const Register &g) {
    return read_in(r, g.file, g, g.pager == reg::Pager::GrBF ? reg::page_b::kCommon : reg::page::kCommon);
}

// An unpaged register known by its address alone.
std::uint32_t get(RegisterReader &r, Address a) {
    return get(r, Register{a.file, a.index, reg::Pager::None, reg::kCurrentPage, a.span, "", {}});
}

// A capture engine's register file: GR in the engine's page of GR FA.
std::uint32_t cap(RegisterReader &r, int engine, const Register &g) {
    return read_in(r, File::GR, g, engine == 0 ? reg::page::kCommon : reg::page::kEngine1);
}

// An overlay window's register file: GR for window 0, SR for window 1.
std::uint32_t ovl(RegisterReader &r, int window, const Register &g) {
    return read_in(r, reg::overlay_file(static_cast<unsigned>(window)), g, reg::kCurrentPage);
}

bool bit(std::uint32_t value, reg::Field f) {
    return f.extract(value) != 0;
}

std::string format(const char *fmt, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

// The scale factor of 1:1.
constexpr double kOne = decode::kScaleOne;

// How much larger a picture comes out than it went in: the overlay steps
// factor/4096 source pixels per screen pixel, the capture engine writes
// factor/4096 pixels per input pixel.
std::string zoom(double ratio) {
    return ratio > 0 ? format("%.3f", ratio) : std::string("-");
}

std::string clock_text(double mhz) {
    if (mhz < 0) return "none";
    if (mhz == 0) return "no divisor";
    return format("%.3f MHz", mhz);
}

// The row of a sync-register table that CR 28-2B hold: sets mode and variant.
template <std::size_t Modes>
bool match_sync_row(const unsigned char (&table)[2][Modes][reg::kSyncRegisterCount],
                    const std::uint8_t (&sync)[reg::kSyncRegisterCount], LockState &lock) {
    for (int variant = 0; variant < 2; ++variant)
        for (std::size_t mode = 0; mode < Modes; ++mode)
            if (std::equal(std::begin(sync), std::end(sync), table[variant][mode])) {
                lock.output_mode = static_cast<int>(mode);
                lock.variant = variant;
                return true;
            }
    return false;
}

double clock_from(RegisterReader &r, const Register &n, const Register &m, const Register &h, bool later) {
    return synthesiser_clock(static_cast<std::uint8_t>(get(r, n)), static_cast<std::uint8_t>(get(r, m)),
                             static_cast<std::uint8_t>(get(r, h)), later);
}

} // namespace

double synthesiser_clock(std::uint8_t n, std::uint8_t m, std::uint8_t h, bool later_generation) {
    return decode::synthesiser_mhz(n, m, h, later_generation);
}

ChipState chip_state(RegisterReader &r) {
    using namespace reg;
    ChipState chip{};
    chip.id = static_cast<std::uint16_t>(get(r, kChipId));
    const auto revision = [&r] { return static_cast<std::uint8_t>(get(r, kChipRevision)); };
    if (decode::no_chip_id(revision(), revision)) chip.id = decode::kNoChipId;
    chip.later_generation = decode::later_generation(chip.id);
    chip.aperture = get(r, kApertureBase) << 24;
    return chip;
}

DisplayState display_state(RegisterReader &r) {
    using namespace reg;
    DisplayState d{};
    const std::uint32_t overflow = get(r, kOverflow);
    const auto cr01 = static_cast<std::uint8_t>(get(r, kHorizontalDisplayEnd));
    d.width = decode::visible_width(cr01, static_cast<std::uint8_t>(get(r, kExtendedHorizontal)));
    const auto cr12 = static_cast<std::uint8_t>(get(r, kVerticalDisplayEnd));
    d.height = decode::visible_height(cr12, static_cast<std::uint8_t>(overflow),
                                      static_cast<std::uint8_t>(get(r, kExtendedVertical)));
    d.bpp = decode::bits_per_pixel(static_cast<std::uint8_t>(get(r, kPixelDepth)));
    d.pitch = static_cast<std::uint32_t>(d.width) * d.bpp / 8;
    return d;
}

ScreenState screen_state(RegisterReader &r) {
    using namespace reg;
    ScreenState s{};
    const DisplayState d = display_state(r);
    s.width = d.width;
    s.height = d.height;
    s.bpp = d.bpp;
    const auto memory = static_cast<std::uint8_t>(get(r, kMemoryConfig));
    s.video_memory = decode::video_memory_mib(memory) << 20;
    s.wide_bus = decode::wide_bus(memory);

    const bool later = chip_state(r).later_generation;
    s.memory_clock = clock_from(r, kMemoryClockN, kMemoryClockM, kMemoryClockHigh, later);
    const unsigned select = misc_output::kClockSelect.extract(get(r, kMiscOutputRead));
    s.pixel_clock = select == decode::kSynthesisedClock
                        ? clock_from(r, kPixelClockN, kPixelClockM, kPixelClockHigh, later)
                        : decode::fixed_pixel_clock(select);
    return s;
}

OverlayState overlay_state(RegisterReader &r, int window) {
    using namespace reg;
    OverlayState o{};
    const std::uint32_t control = ovl(r, window, kOvlControl);
    o.on = bit(control, ovl_control::kOn);
    o.wide_source = bit(control, ovl_control::kWide);
    o.left = static_cast<std::int16_t>(ovl(r, window, kOvlLeft));
    o.right = static_cast<std::int16_t>(ovl(r, window, kOvlRight));
    o.top = static_cast<std::int16_t>(ovl(r, window, kOvlTop));
    o.bottom = static_cast<std::int16_t>(ovl(r, window, kOvlBottom));
    o.source = kOvlSource.join({ovl(r, window, kOvlStart)}) * decode::kAddressUnit;
    const std::uint32_t pitch_high = ovl(r, window, kOvlPitchHigh);
    o.pitch = kOvlPitchUnits.join({ovl(r, window, kOvlPitch), pitch_high}) * decode::kOverlayPitchUnit;
    o.fetch = kOvlFetchUnits.join({ovl(r, window, kOvlFetch), pitch_high});
    o.h_factor = static_cast<std::uint16_t>(ovl(r, window, kOvlHFactor));
    o.v_factor = static_cast<std::uint16_t>(ovl(r, window, kOvlVFactor));
    o.format = static_cast<std::uint8_t>(kOvlFormat.field().extract(ovl(r, window, kOvlFormat)));
    o.key = ovl(r, window, kOvlKeyColour);
    const std::uint32_t field_bits = get(r, kFieldMode);
    o.bob = bit(field_bits, window == 0 ? field_mode::kBob0 : field_mode::kBob1);
    o.bob_double = bit(field_bits, window == 0 ? field_mode::kDouble0 : field_mode::kDouble1);
    o.on_top = overlay_on_top(r) == window;
    return o;
}

int overlay_on_top(RegisterReader &r) {
    return bit(ovl(r, 1, reg::kOvlDisplay), reg::ovl_display::kWindow1OnTop) ? 1 : 0;
}

int routed_engine(RegisterReader &r) {
    return bit(get(r, reg::kClockEF), reg::clock_ef::kEngine1) ? 1 : 0;
}

CaptureState capture_state(RegisterReader &r, int engine) {
    using namespace reg;
    CaptureState c{};
    const std::uint32_t control = get(r, kCaptureControl);
    c.enabled = bit(control, capture_control::kEnable);
    c.held = bit(control, capture_control::kHold) || bit(control, capture_control::kStop);
    c.engine = engine;
    c.routed = routed_engine(r) == engine;
    const auto start = static_cast<std::uint16_t>(cap(r, engine, kCapXStart));
    const auto end = static_cast<std::uint16_t>(cap(r, engine, kCapXEnd));
    c.first_pixel = decode::capture_first_pixel(start);
    c.end_pixel = decode::capture_end_pixel(end);
    c.first_line = static_cast<std::uint16_t>(cap(r, engine, kCapYStart));
    c.end_line = static_cast<std::uint16_t>(cap(r, engine, kCapYEnd));
    c.destination = kCapDestination.join({cap(r, engine, kCapAddress)}) * decode::kAddressUnit;
    c.pitch = static_cast<std::uint16_t>(cap(r, engine, kCapPitch) * decode::kCapturePitchUnit);
    c.h_factor = static_cast<std::uint16_t>(cap(r, engine, kCapHScale));
    c.v_factor = static_cast<std::uint16_t>(cap(r, engine, kCapVScale));
    c.field_scaling = bit(cap(r, engine, kCapFieldScale), cap_field_scale::kFieldScaling);

    c.guard_on = bit(get(r, kSafeguard), kSafeguard.field());
    const std::uint32_t high = get(r, kGuardHigh);
    const std::uint32_t guard = engine == 0
                                    ? kGuard0Address.join({get(r, kGuard0Low), get(r, kGuard0Mid), high})
                                    : kGuard1Address.join({get(r, kGuard1Low), get(r, kGuard1Mid), high});
    c.guard = guard * decode::kAddressUnit;
    c.wide_bus = decode::wide_bus(static_cast<std::uint8_t>(get(r, kMemoryConfig)));
    c.guard_end = c.guard + decode::guard_burst(c.wide_bus);

    const std::uint32_t back_high = get(r, kBackBufferHigh);
    c.double_buffer = bit(get(r, kDoubleBufferControl), kDoubleBufferControl.field()) &&
                      bit(back_high, back_buffer_high::kDoubleBuffer);
    c.back_buffer = kBackBufferAddress.join({get(r, kBackBufferLow), get(r, kBackBufferMid), back_high}) *
                    decode::kAddressUnit;
    c.inverted_fields = bit(get(r, kFieldControl), field_control::kInverted);
    return c;
}

// The sync registers CR 28-2B are non-zero only while a lock or the video
// clock is in force (both clear them when they end).  A lock loads the
// extended-sync block (SR E0 is never 0 in its images), the video clock does
// not; it writes SR E4 with its standard's value.  A genlock-mode lock leaves
// the sync-lock video output switched off; with its output switched on it
// looks like a plain lock in every register.
LockState lock_state(RegisterReader &r) {
    using namespace reg;
    LockState lock{};
    lock.ntsc = bit(get(r, kTvStandard), kTvStandard.field());
    lock.output_mode = -1;
    lock.variant = -1;
    const std::uint32_t second = get(r, kOutputSwitch2);
    lock.video_output = bit(get(r, kOutputSwitch), kOutputSwitch.field()) &&
                        bit(second, output_switch2::kBit0) && bit(second, output_switch2::kBit4);
    std::uint8_t sync[kSyncRegisterCount];
    bool active = false;
    for (std::size_t i = 0; i < kSyncRegisterCount; ++i) {
        sync[i] = static_cast<std::uint8_t>(get(r, kSyncRegisters[i]));
        active = active || sync[i] != 0;
    }
    if (!active) return lock;
    if (get(r, kExtSyncE0) == 0) {
        lock.mode = LockMode::VideoClock;
        lock.ntsc = get(r, kExtSyncE4) == ext_sync_e4::kVideoClockNtsc;
    } else {
        lock.mode = lock.video_output ? LockMode::SyncLock : LockMode::Genlock;
    }
    lock.vcr = !bit(get(r, kVcrControl), kVcrControl.field()); // the field is "VCR setting off"
    if (lock.ntsc)
        match_sync_row(bNTSCRegSync, sync, lock);
    else
        match_sync_row(bPALRegSync, sync, lock);
    return lock;
}

ControllerState controller_state(RegisterReader &r) {
    ControllerState s{};
    s.chip = chip_state(r);
    s.screen = screen_state(r);
    for (int i = 0; i < 2; ++i) {
        s.overlay[i] = overlay_state(r, i);
        s.capture[i] = capture_state(r, i);
    }
    s.lock = lock_state(r);
    return s;
}

const char *lock_mode_name(LockMode mode) {
    switch (mode) {
    case LockMode::Off:
        return "off";
    case LockMode::SyncLock:
        return "sync lock";
    case LockMode::Genlock:
        return "genlock";
    case LockMode::VideoClock:
        return "video clock";
    }
    return "?";
}

const char *standard_name(bool ntsc) {
    return ntsc ? "NTSC" : "PAL";
}

std::string describe(const OverlayState &o, int window) {
    std::string text = format(
        "overlay %d: %s, window (%d,%d)-(%d,%d), source 0x%06X pitch 0x%X, format %u, zoom %s x %s", window,
        o.on ? "on" : "off", o.left, o.top, o.right, o.bottom, o.source, o.pitch, o.format,
        zoom(o.h_factor ? kOne / o.h_factor : 0).c_str(), zoom(o.v_factor ? kOne / o.v_factor : 0).c_str());
    text += o.bob ? (o.bob_double ? ", BOB (2:1)" : ", BOB") : ", WEAVE";
    text += format(", key 0x%06X", o.key);
    if (o.on_top) text += ", on top";
    return text + "\n";
}

std::string describe(const CaptureState &c) {
    // The run state (GR E8) belongs to the engine routed to the video port.
    const char *state = !c.routed    ? "not routed to the video port"
                        : !c.enabled ? "stopped"
                        : c.held     ? "held (set up, not writing)"
                                     : "running";
    return format("capture %d: %s, input pixels %u-%u lines %u-%u, destination 0x%06X pitch 0x%X, "
                  "zoom %s x %s%s%s\n",
                  c.engine, state, c.first_pixel, c.end_pixel, c.first_line, c.end_line, c.destination,
                  c.pitch * decode::kCaptureBytesPerPixel, zoom(c.h_factor / kOne).c_str(),
                  zoom(c.v_factor / kOne).c_str(), c.field_scaling ? ", field scaling" : "",
                  c.inverted_fields ? ", fields inverted" : "");
}

std::string describe_buffers(const CaptureState &c) {
    std::string text =
        c.guard_on ? format("capture guard: at 0x%06X\n", c.guard) : std::string("capture guard: off\n");
    text += c.double_buffer ? format("double buffering: on, back buffer 0x%06X\n", c.back_buffer)
                            : std::string("double buffering: off\n");
    return text;
}

std::string describe(const LockState &lock) {
    if (lock.mode == LockMode::Off)
        return format("sync lock: off (TV encoder %s)\n", standard_name(lock.ntsc));
    std::string text = format("sync lock: %s, %s", lock_mode_name(lock.mode), standard_name(lock.ntsc));
    text += lock.output_mode >= 0 ? format(" mode %d variant %d", lock.output_mode, lock.variant)
                                  : std::string(" (sync registers match no mode)");
    if (lock.mode != LockMode::VideoClock)
        text += lock.video_output ? ", video output on" : ", video output off";
    if (lock.vcr) text += ", VCR";
    return text + "\n";
}

std::string describe(const ControllerState &s) {
    std::string text = format("chip: id 0x%02X (%s generation), aperture 0x%08X\n", s.chip.id,
                              s.chip.later_generation ? "later" : "earlier", s.chip.aperture);
    text += format("screen: %ux%u, %u bits per pixel\n", s.screen.width, s.screen.height, s.screen.bpp);
    text +=
        format("video memory: 0x%X, %s bus\n", s.screen.video_memory, s.screen.wide_bus ? "wide" : "narrow");
    text += "clocks: memory " + clock_text(s.screen.memory_clock) + ", pixel " +
            clock_text(s.screen.pixel_clock) + "\n";
    for (int i = 0; i < 2; ++i)
        text += describe(s.overlay[i], i);
    for (int i = 0; i < 2; ++i)
        text += describe(s.capture[i]);
    text += describe_buffers(s.capture[s.capture[1].routed ? 1 : 0]);
    return text + describe(s.lock);
}

} // namespace kova::state
