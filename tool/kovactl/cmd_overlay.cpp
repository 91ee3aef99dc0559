// overlay N ...: the two overlay windows; overlay top N.
#include "kovactl.h"
#include "overlay.h"

namespace kova::ctl {

namespace {

// Every overlay operation acts on the window selected first.
void select(const Args &args) {
    Kova_SelectOverlayIndex(static_cast<unsigned short>(args.unit));
}

template <void (*Operation)()>
constexpr Handler plain = on_unit<Kova_SelectOverlayIndex, Operation>;

int format(const Options &, const Args &args) {
    select(args);
    Kova_SetOverlayFormat(static_cast<unsigned char>(args.value[0]));
    return kExitOk;
}

int mode(const Options &, const Args &args) {
    select(args);
    Kova_SetOverlayMode(static_cast<unsigned char>(args.value[0]));
    return kExitOk;
}

int window(const Options &, const Args &a) {
    select(a);
    Kova_SetOverlayWindow(u16(a.value[0]), u16(a.value[1]), u16(a.value[2]), u16(a.value[3]));
    return kExitOk;
}

int source(const Options &, const Args &a) {
    select(a);
    Kova_SetOverlaySrcAddr(a.value[0], u16(a.value[1]), u16(a.value[2]), u16(a.value[3]), u16(a.value[4]));
    return kExitOk;
}

int scale(const Options &, const Args &a) {
    select(a);
    Kova_SetOverlayScale(static_cast<unsigned char>(a.value[0]), u16(a.value[1]), u16(a.value[2]),
                         u16(a.value[3]), u16(a.value[4]));
    return kExitOk;
}

int key(const Options &, const Args &a) {
    select(a);
    Kova_SetRGBKeyColor(a.value[0]);
    return kExitOk;
}

int top(const Options &, const Args &a) {
    Kova_WhichOverlayOnTop(static_cast<unsigned char>(a.value[0]));
    return kExitOk;
}

constexpr ArgSpec kFormatArgs[] = {{"CODE", ArgSpec::Kind::Number, 0, 7}};
constexpr ArgSpec kModeArgs[] = {{"MODE", ArgSpec::Kind::Number, 0, 1}};
constexpr ArgSpec kWindowArgs[] = {{"LEFT", ArgSpec::Kind::Number, 0, 0xFFFF},
                                   {"TOP", ArgSpec::Kind::Number, 0, 0xFFFF},
                                   {"RIGHT", ArgSpec::Kind::Number, 0, 0xFFFF},
                                   {"BOTTOM", ArgSpec::Kind::Number, 0, 0xFFFF}};
constexpr ArgSpec kSourceArgs[] = {{"ADDR", ArgSpec::Kind::Number, 0, 0x5FFFFF, nullptr, false, 0, true},
                                   {"X", ArgSpec::Kind::Number, 0, 0xFFFF},
                                   {"Y", ArgSpec::Kind::Number, 0, 0xFFFF},
                                   {"WIDTH", ArgSpec::Kind::Number, 0, 0xFFFF},
                                   {"PITCH", ArgSpec::Kind::Number, 0, 0xFFFF}};
constexpr ArgSpec kScaleArgs[] = {{"weave|bob", ArgSpec::Kind::Choice, 0, 0, "weave|bob"},
                                  {"SRCW", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"DSTW", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"SRCH", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"DSTH", ArgSpec::Kind::Number, 0, 0xFFFF}};
constexpr ArgSpec kKeyArgs[] = {{"RGB", ArgSpec::Kind::Number, 0, 0xFFFFFF, nullptr, false, 0, true}};
constexpr ArgSpec kTopArgs[] = {{"N", ArgSpec::Kind::Number, 0, 1}};

constexpr Command kCommands[] = {
    {.name = "overlay",
     .numbered = true,
     .word = "on",
     .writes = true,
     .handler = plain<Kova_OverlayOn>,
     .help = "switch the window on"},
    {.name = "overlay",
     .numbered = true,
     .word = "off",
     .writes = true,
     .handler = plain<Kova_OverlayOff>,
     .help = "switch the window off"},
    {.name = "overlay",
     .numbered = true,
     .word = "init",
     .writes = true,
     .handler = plain<Kova_InitOverlay>,
     .help = "initial register set (window off, 1:1, format 0); the first one saves the FIFO registers"},
    {.name = "overlay",
     .numbered = true,
     .word = "cleanup",
     .writes = true,
     .handler = plain<Kova_OverlayCleanUp>,
     .help = "clear window 0's field bits and put back FIFO registers saved by init in this run"},
    {.name = "overlay",
     .numbered = true,
     .word = "format",
     .args = kFormatArgs,
     .writes = true,
     .handler = format,
     .help = "source pixel format code"},
    {.name = "overlay",
     .numbered = true,
     .word = "mode",
     .args = kModeArgs,
     .writes = true,
     .handler = mode,
     .help = "overlay mode bit (DC bit 1)"},
    {.name = "overlay",
     .numbered = true,
     .word = "window",
     .args = kWindowArgs,
     .writes = true,
     .handler = window,
     .help = "window rectangle on the screen"},
    {.name = "overlay",
     .numbered = true,
     .word = "source",
     .args = kSourceArgs,
     .writes = true,
     .handler = source,
     .help = "source: byte address ADDR plus X pixels and Y lines of PITCH pixels, WIDTH pixels wide"},
    {.name = "overlay",
     .numbered = true,
     .word = "scale",
     .args = kScaleArgs,
     .writes = true,
     .handler = scale,
     .help = "scale factors from source and destination sizes"},
    {.name = "overlay",
     .numbered = true,
     .word = "fifo",
     .writes = true,
     .handler = plain<Kova_ChangeOverlayFIFO>,
     .help = "FIFO thresholds and controls"},
    {.name = "overlay",
     .numbered = true,
     .word = "key",
     .args = kKeyArgs,
     .writes = true,
     .handler = key,
     .help = "key colour 0xRRGGBB"},
    {.name = "overlay",
     .word = "top",
     .args = kTopArgs,
     .writes = true,
     .handler = top,
     .help = "put window N on top"},
};

} // namespace

std::span<const Command> overlay_commands() {
    return kCommands;
}

} // namespace kova::ctl
