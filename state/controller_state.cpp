#include "controller_state.h"

#include "synclock.h"

#include <cstdio>

namespace kova::state {

namespace {

constexpr int kCaptureBank[2] = {0x00, 0x80};
constexpr int kSyncOutputBank = 0x08;

// An overlay window's register file: GR for window 0, SR for window 1.
std::uint8_t ovl(RegisterReader &r, int window, std::uint8_t index) {
    return window == 0 ? r.gr(index) : r.sr(index);
}

std::uint16_t ovl16(RegisterReader &r, int window, std::uint8_t low) {
    return static_cast<std::uint16_t>(ovl(r, window, low) | ovl(r, window, static_cast<std::uint8_t>(low + 1))
                                                                << 8);
}

// A capture engine's register file: GR in bank 0x00 (engine 0) or 0x80 (engine 1).
std::uint8_t cap(RegisterReader &r, int engine, std::uint8_t index) {
    return r.gr(index, kCaptureBank[engine]);
}

std::uint16_t cap16(RegisterReader &r, int engine, std::uint8_t low) {
    return static_cast<std::uint16_t>(cap(r, engine, low) | cap(r, engine, static_cast<std::uint8_t>(low + 1))
                                                                << 8);
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

std::string clock_text(double mhz) {
    if (mhz < 0) return "none";
    if (mhz == 0) return "no divisor";
    return format("%.3f MHz", mhz);
}

constexpr std::uint8_t kBppByCode[8] = {4, 8, 16, 32, 24, 4, 16, 4};

// The row of a sync-register table that CR 28-2B hold: sets mode and variant.
template <std::size_t Modes>
bool match_sync_row(const unsigned char (&table)[2][Modes][4], const std::uint8_t (&cr)[4], LockState &lock) {
    for (int variant = 0; variant < 2; ++variant)
        for (std::size_t mode = 0; mode < Modes; ++mode) {
            bool same = true;
            for (int i = 0; i < 4; ++i)
                same = same && table[variant][mode][i] == cr[i];
            if (same) {
                lock.output_mode = static_cast<int>(mode);
                lock.variant = variant;
                return true;
            }
        }
    return false;
}

} // namespace

double synthesiser_clock(std::uint8_t n, std::uint8_t m, std::uint8_t h, bool later_generation) {
    const double feedback = n + 256.0 * (h & 0x07);
    const double reference = (m & 0x1F) + 4.0 * (h & 0x38);
    double divisor;
    double base;
    if (later_generation) {
        constexpr double kLater[8] = {1, 2, 4, 6, 8, 0, 0, 0};
        divisor = kLater[(m >> 6) | ((h & 0x40) >> 4)];
        base = 2457600;
    } else {
        constexpr double kEarlier[4] = {1, 2, 4, 8};
        divisor = kEarlier[m >> 6];
        base = 1431818;
    }
    if (divisor == 0) return 0.0;
    return base * (feedback + 1) / (divisor * (reference + 1)) / 100000;
}

ChipState chip_state(RegisterReader &r) {
    ChipState chip{};
    chip.id = r.gr(0x92);
    if ((r.gr(0x91) & 0xF0) == 0 && (r.gr(0x91) & 0xF0) == 0xF0) chip.id = 0xFFFF;
    chip.later_generation = chip.id > 7;
    chip.aperture = static_cast<std::uint32_t>(r.gr(0x35)) << 24;
    return chip;
}

DisplayState display_state(RegisterReader &r) {
    DisplayState d{};
    const std::uint8_t cr01 = r.cr(0x01), cr07 = r.cr(0x07), cr12 = r.cr(0x12), cr53 = r.cr(0x53);
    const std::uint8_t gr11 = r.gr(0x11);
    d.width = static_cast<std::uint16_t>((cr01 + 256 * ((cr53 >> 1) & 1)) * 8 + 8);
    d.height = static_cast<std::uint16_t>(cr12 + 256 * ((cr07 >> 1) & 1) + 512 * ((cr07 >> 6) & 1) +
                                          1024 * ((gr11 >> 1) & 1) + 1);
    d.bpp = kBppByCode[r.gr(0x77) & 0x07];
    d.pitch = static_cast<std::uint32_t>(d.width) * d.bpp / 8;
    return d;
}

ScreenState screen_state(RegisterReader &r) {
    ScreenState s{};
    const DisplayState d = display_state(r);
    s.width = d.width;
    s.height = d.height;
    s.bpp = d.bpp;
    const std::uint8_t gr72 = r.gr(0x72);
    const unsigned size_code = gr72 & 0x03;
    s.video_memory = (size_code == 0 ? 1u : 2u * size_code) << 20;
    s.wide_bus = gr72 & 0x04;

    const bool later = chip_state(r).later_generation;
    s.memory_clock = synthesiser_clock(r.gr(0xB2), r.gr(0xB3), r.gr(0xBB), later);
    switch ((r.port(0x3CC) >> 2) & 0x03) {
    case 0:
        s.pixel_clock = 25.175;
        break;
    case 1:
        s.pixel_clock = 28.322;
        break;
    case 2:
        s.pixel_clock = -1.0;
        break;
    default:
        s.pixel_clock = synthesiser_clock(r.gr(0xB0), r.gr(0xB1), r.gr(0xBA), later);
        break;
    }
    return s;
}

OverlayState overlay_state(RegisterReader &r, int window) {
    OverlayState o{};
    const std::uint8_t control = ovl(r, window, 0xDC);
    o.on = control & 0x80;
    o.wide_source = control & 0x20;
    o.left = static_cast<std::int16_t>(ovl16(r, window, 0xC5));
    o.right = static_cast<std::int16_t>(ovl16(r, window, 0xC7));
    o.top = static_cast<std::int16_t>(ovl16(r, window, 0xC9));
    o.bottom = static_cast<std::int16_t>(ovl16(r, window, 0xCB));
    o.source = (ovl(r, window, 0xC0) | ovl(r, window, 0xC1) << 8 | ovl(r, window, 0xC2) << 16) * 4u;
    const std::uint8_t c4 = ovl(r, window, 0xC4);
    o.pitch = (ovl(r, window, 0xC3) | (c4 & 0x0F) << 8) * 8u;
    o.fetch = ovl(r, window, 0xCD) | (c4 & 0xF0) << 4;
    o.h_factor = ovl16(r, window, 0xD3);
    o.v_factor = ovl16(r, window, 0xD7);
    o.format = ovl(r, window, 0xDB) & 0x07;
    o.key = ovl(r, window, 0xCE) | ovl(r, window, 0xCF) << 8 |
            static_cast<std::uint32_t>(ovl(r, window, 0xD0)) << 16;
    const std::uint8_t bob_bits = r.sr(0xA7);
    o.bob = bob_bits & (window == 0 ? 0x04 : 0x08);
    o.bob_double = bob_bits & (window == 0 ? 0x01 : 0x02);
    o.on_top = overlay_on_top(r) == window;
    return o;
}

int overlay_on_top(RegisterReader &r) {
    return r.sr(0xDE) & 0x01;
}

int routed_engine(RegisterReader &r) {
    return r.sr(0xEF) & 0x02 ? 1 : 0;
}

CaptureState capture_state(RegisterReader &r, int engine) {
    CaptureState c{};
    const std::uint8_t control = r.gr(0xE8);
    c.enabled = control & 0x01;
    c.held = control & 0x0C;
    c.engine = engine;
    c.routed = routed_engine(r) == engine;
    const std::uint16_t start = cap16(r, engine, 0x60);
    const std::uint16_t end = cap16(r, engine, 0x62);
    c.first_pixel = static_cast<std::uint16_t>((start - 1) / 2);
    c.end_pixel = static_cast<std::uint16_t>((end - 2) / 2);
    c.first_line = cap16(r, engine, 0x64);
    c.end_line = cap16(r, engine, 0x66);
    c.destination =
        (cap(r, engine, 0xEB) | cap(r, engine, 0xEC) << 8 | (cap(r, engine, 0xED) & 0x0F) << 16) * 4u;
    c.pitch = static_cast<std::uint16_t>(cap(r, engine, 0xEE) * 4);
    c.h_factor = cap16(r, engine, 0x6A);
    c.v_factor = cap16(r, engine, 0x6E);
    c.field_scaling = cap(r, engine, 0xEA) & 0x02;

    c.guard_on = r.sr(0xA2) & 0x04;
    const std::uint8_t gr49 = r.gr(0x49);
    const std::uint8_t high = engine == 0 ? gr49 & 0x0F : gr49 >> 4;
    const std::uint32_t q = engine == 0 ? (r.gr(0x45) | r.gr(0x46) << 8) : (r.gr(0x47) | r.gr(0x48) << 8);
    c.guard = (q | static_cast<std::uint32_t>(high) << 16) * 4u;
    c.wide_bus = r.gr(0x72) & 0x04;
    c.guard_end = c.guard + (c.wide_bus ? 32u : 16u);

    const std::uint8_t gr_a9 = r.gr(0xA9);
    c.double_buffer = (r.gr(0xAC) & 0x02) && (gr_a9 & 0x10);
    c.back_buffer = (r.gr(0xA7) | r.gr(0xA8) << 8 | (gr_a9 & 0x0F) << 16) * 4u;
    c.inverted_fields = r.gr(0xE9, 0x00) & 0x20;
    return c;
}

// The sync registers CR 28-2B are non-zero only while a lock or the video
// clock is in force (both clear them when they end).  A lock loads the
// extended-sync block (SR E0 is never 0 in its images), the video clock does
// not; it writes SR E4 0x50 for NTSC, 0x56 for PAL.  A genlock-mode lock leaves the sync-lock video output
// switched off; with its output switched on it looks like a plain lock in every register.
LockState lock_state(RegisterReader &r) {
    LockState lock{};
    lock.ntsc = r.tv(0xE438) & 0x1000;
    lock.output_mode = -1;
    lock.variant = -1;
    lock.video_output = (r.sr(0x4A) & 0x08) && (r.sr(0x4F, kSyncOutputBank) & 0x11) == 0x11;
    std::uint8_t sync[4];
    bool active = false;
    for (int i = 0; i < 4; ++i) {
        sync[i] = r.cr(static_cast<std::uint8_t>(0x28 + i));
        active = active || sync[i] != 0;
    }
    if (!active) return lock;
    if (r.sr(0xE0) == 0) {
        // The video clock sets SR E4 for its standard and leaves the TV encoder's alone.
        lock.mode = LockMode::VideoClock;
        lock.ntsc = r.sr(0xE4) == 0x50;
    } else
        lock.mode = lock.video_output ? LockMode::SyncLock : LockMode::Genlock;
    lock.vcr = (r.sr(0xEB) & 0x80) == 0;
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
    std::string text =
        format("overlay %d: %s, window (%d,%d)-(%d,%d), source 0x%06X pitch 0x%X, format %u, zoom %s x %s",
               window, o.on ? "on" : "off", o.left, o.top, o.right, o.bottom, o.source, o.pitch, o.format,
               zoom(o.h_factor ? 4096.0 / o.h_factor : 0).c_str(),
               zoom(o.v_factor ? 4096.0 / o.v_factor : 0).c_str());
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
                  c.pitch * 2u, zoom(c.h_factor / 4096.0).c_str(), zoom(c.v_factor / 4096.0).c_str(),
                  c.field_scaling ? ", field scaling" : "", c.inverted_fields ? ", fields inverted" : "");
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
