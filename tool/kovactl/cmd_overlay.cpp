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
    {"overlay", true, "on", {}, true, plain<Kova_OverlayOn>, "switch the window on"},
    {"overlay", true, "off", {}, true, plain<Kova_OverlayOff>, "switch the window off"},
    {"overlay",
     true,
     "init",
     {},
     true,
     plain<Kova_InitOverlay>,
     "initial register set (window off, 1:1, format 0); the first one saves the FIFO registers"},
    {"overlay",
     true,
     "cleanup",
     {},
     true,
     plain<Kova_OverlayCleanUp>,
     "clear window 0's field bits and put back FIFO registers saved by init in this run"},
    {"overlay", true, "format", kFormatArgs, true, format, "source pixel format code"},
    {"overlay", true, "mode", kModeArgs, true, mode, "overlay mode bit (DC bit 1)"},
    {"overlay", true, "window", kWindowArgs, true, window, "window rectangle on the screen"},
    {"overlay", true, "source", kSourceArgs, true, source,
     "source: byte address ADDR plus X pixels and Y lines of PITCH pixels, WIDTH pixels wide"},
    {"overlay", true, "scale", kScaleArgs, true, scale, "scale factors from source and destination sizes"},
    {"overlay", true, "fifo", {}, true, plain<Kova_ChangeOverlayFIFO>, "FIFO thresholds and controls"},
    {"overlay", true, "key", kKeyArgs, true, key, "key colour 0xRRGGBB"},
    {"overlay", false, "top", kTopArgs, true, top, "put window N on top"},
};

} // namespace

std::span<const Command> overlay_commands() {
    return kCommands;
}

} // namespace kova::ctl
