// Display utilities: detection, DAC switches, sync waits, clocks, screen
// queries, drawing and blanking.
#include "capture.h"
#include "decode.h"
#include "json.h"
#include "kovactl.h"
#include "portmem.h"
#include "signal_hold.h"
#include "synclock.h"
#include "utility.h"

#include <algorithm>

namespace kova::ctl {

namespace {

constexpr const char *kOnOff = "off|on";
constexpr std::uint32_t kFrameBufferBytes = decode::kVideoMemoryLength; // what the mapping makes visible

int detect(const Options &options, const Args &) {
    const unsigned crt = DetectCRT();
    const unsigned tv = DetectTV();
    if (options.json)
        print_json(JsonObject().add("crt", crt).add("tv", tv));
    else
        std::printf("crt sense: %s\ntv sense: %s\n", hex(crt).c_str(), hex(tv).c_str());
    return kExitOk;
}

// dac crt|tv|ram|power off|on: the switch with the argument's value.
template <void (*Switch)(unsigned short)>
int dac(const Options &, const Args &args) {
    Switch(u16(args.value[0]));
    return kExitOk;
}

// A signal waits for the wait in progress, never for all COUNT of them.
template <void (*Wait)()>
int wait_times(const Options &, const Args &args) {
    for (std::uint32_t n = 0; n < args.value[0]; ++n) {
        const tool::SignalHold hold;
        Wait();
    }
    return kExitOk;
}
int wait_capture(const Options &, const Args &args) {
    for (std::uint32_t n = 0; n < args.value[0]; ++n) {
        const tool::SignalHold hold;
        sleep_VSync(1);
    }
    return kExitOk;
}

int clock(const Options &options, const Args &) {
    const double memory = GetVMemoryClock();
    const double pixel = GetVPixelClock();
    if (options.json)
        print_json(JsonObject().add("memory_mhz", memory).add("pixel_mhz", pixel));
    else
        std::printf("memory clock: %.3f MHz\npixel clock: %.3f MHz\n", memory, pixel);
    return kExitOk;
}

int screen(const Options &options, const Args &) {
    const unsigned width = GetCurrentScreenInfo(0), height = GetCurrentScreenInfo(1), bpp = GetBpp();
    const unsigned used = GetCurrentScreenMapSize(0), left = GetCurrentScreenMapSize(1);
    const unsigned memory = GetVMemSize(), bus = GetBusWidth(), chip = GetChipID();
    const std::uint32_t aperture = GetLinearBufferPtr();
    if (options.json) {
        JsonObject j;
        j.add("width", width).add("height", height).add("bpp", bpp).add("screen_kib", used);
        j.add("free_kib", left).add("video_memory_mib", memory).add("bus_width", bus).add("chip_id", chip);
        print_json(j.add("aperture", aperture));
    } else {
        std::printf("screen: %ux%u, %u bits per pixel\n", width, height, bpp);
        std::printf("video memory: %u MiB, bus width flag %u; screen %u KiB, free %u KiB\n", memory, bus,
                    used, left);
        std::printf("chip id: %s, aperture %s\n", hex(chip).c_str(), hex(aperture, 8).c_str());
    }
    return kExitOk;
}

// The library draws without clipping: every pixel must lie on the screen and
// inside the frame buffer that the mapping makes visible.
// Call SetEnvironmentVariables first.
bool on_screen(const char *what, std::uint32_t x, std::uint32_t y, bool exclusive) {
    const std::uint32_t w = wScreenWidth, h = wScreenHeight;
    const std::uint32_t rows_mapped = bBpp >= 8 && w > 0 ? kFrameBufferBytes / (w * (bBpp / 8u)) : h;
    const std::uint32_t max_y = std::min(h, rows_mapped);
    const bool inside = exclusive ? x <= w && y <= max_y : x < w && y < max_y;
    if (!inside)
        error(kExitFailure, "%s: (%u,%u) lies outside the %ux%u screen%s", what, x, y, w, max_y,
              max_y < h ? " part that is mapped" : "");
    return inside;
}

int draw_pixel(const Options &, const Args &a) {
    SetEnvironmentVariables();
    if (!on_screen("draw pixel", a.value[0], a.value[1], false)) return kExitUsage;
    DrawPixel(static_cast<unsigned short>(a.value[0]), static_cast<unsigned short>(a.value[1]), a.value[2]);
    return kExitOk;
}

int draw_line(const Options &, const Args &a) {
    SetEnvironmentVariables();
    if (!on_screen("draw line", a.value[0], a.value[1], false) ||
        !on_screen("draw line", a.value[2], a.value[3], false))
        return kExitUsage;
    DrawLine(static_cast<unsigned short>(a.value[0]), static_cast<unsigned short>(a.value[1]),
             static_cast<unsigned short>(a.value[2]), static_cast<unsigned short>(a.value[3]), a.value[4]);
    return kExitOk;
}

int fill(const char *what, const Args &a, std::uint32_t colour) {
    SetEnvironmentVariables();
    if (!on_screen(what, a.value[0], a.value[1], true) || !on_screen(what, a.value[2], a.value[3], true))
        return kExitUsage;
    FillRect(static_cast<unsigned short>(a.value[0]), static_cast<unsigned short>(a.value[1]),
             static_cast<unsigned short>(a.value[2]), static_cast<unsigned short>(a.value[3]), colour);
    return kExitOk;
}
int draw_rect(const Options &, const Args &a) {
    return fill("draw rect", a, a.value[4]);
}
int blank(const Options &, const Args &a) {
    return fill("blank", a, 0);
}

constexpr ArgSpec kOnOffArg[] = {{"on|off", ArgSpec::Kind::Choice, 0, 0, kOnOff}};
constexpr ArgSpec kCountArg[] = {{"COUNT", ArgSpec::Kind::Number, 1, 1000, nullptr, true, 1}};
constexpr ArgSpec kCaptureCountArg[] = {{"COUNT", ArgSpec::Kind::Number, 0, 1000, nullptr, true, 1}};
constexpr ArgSpec kPixelArgs[] = {{"X", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"Y", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"COLOUR", ArgSpec::Kind::Number, 0, 0xFFFFFFFF, nullptr, false, 0, true}};
constexpr ArgSpec kLineArgs[] = {{"X0", ArgSpec::Kind::Number, 0, 0xFFFF},
                                 {"Y0", ArgSpec::Kind::Number, 0, 0xFFFF},
                                 {"X1", ArgSpec::Kind::Number, 0, 0xFFFF},
                                 {"Y1", ArgSpec::Kind::Number, 0, 0xFFFF},
                                 {"COLOUR", ArgSpec::Kind::Number, 0, 0xFFFFFFFF, nullptr, false, 0, true}};
constexpr ArgSpec kBlankArgs[] = {{"X0", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"Y0", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"X1", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"Y1", ArgSpec::Kind::Number, 0, 0xFFFF}};

constexpr Command kCommands[] = {
    {.name = "detect",
     .writes = true,
     .handler = detect,
     .help = "sense a CRT monitor and a TV on the outputs"},
    {.name = "dac",
     .word = "crt",
     .args = kOnOffArg,
     .writes = true,
     .handler = dac<TurnOnOffCRTDAC>,
     .help = "switch the CRT DAC"},
    {.name = "dac",
     .word = "tv",
     .args = kOnOffArg,
     .writes = true,
     .handler = dac<TurnOnOffTVDAC>,
     .help = "switch the TV DAC"},
    {.name = "dac",
     .word = "ram",
     .args = kOnOffArg,
     .writes = true,
     .handler = dac<TurnOnOffRAMDAC>,
     .help = "switch the RAMDAC"},
    {.name = "dac",
     .word = "power",
     .args = kOnOffArg,
     .writes = true,
     .handler = dac<DACPower>,
     .help = "power the DAC up or down"},
    {.name = "wait",
     .word = "vsync",
     .args = kCountArg,
     .handler = wait_times<WaitCrtVertSync>,
     .help = "wait for COUNT vertical retraces",
     .holds_per_step = true},
    {.name = "wait",
     .word = "hsync",
     .args = kCountArg,
     .handler = wait_times<WaitCrtHoriSync>,
     .help = "wait for COUNT blanking intervals",
     .holds_per_step = true},
    {.name = "wait",
     .word = "crt-vsync",
     .args = kCountArg,
     .handler = wait_times<WaitCRTVSync>,
     .help = "wait for COUNT starts of a vertical retrace, never the one in progress",
     .holds_per_step = true},
    {.name = "wait",
     .word = "capture-vsync",
     .args = kCaptureCountArg,
     .writes = true,
     .handler = wait_capture,
     .help = "wait for COUNT vertical syncs of the capture status (selects GR bank 0)",
     .holds_per_step = true},
    {.name = "clock", .handler = clock, .help = "memory and pixel clocks in MHz"},
    {.name = "screen",
     .handler = screen,
     .help = "screen size and depth, video memory, chip id and aperture"},
    {.name = "draw",
     .word = "pixel",
     .args = kPixelArgs,
     .writes = true,
     .handler = draw_pixel,
     .help = "draw one pixel"},
    {.name = "draw",
     .word = "line",
     .args = kLineArgs,
     .writes = true,
     .handler = draw_line,
     .help = "draw a line"},
    {.name = "draw",
     .word = "rect",
     .args = kLineArgs,
     .writes = true,
     .handler = draw_rect,
     .help = "fill columns X0 to X1-1 of rows Y0 to Y1-1"},
    {.name = "blank",
     .args = kBlankArgs,
     .writes = true,
     .handler = blank,
     .help = "clear columns X0 to X1-1 of rows Y0 to Y1-1 to 0"},
};

} // namespace

std::span<const Command> display_commands() {
    return kCommands;
}

} // namespace kova::ctl
