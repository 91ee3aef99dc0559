// capture N ...: the two capture engines, double buffering and field polarity.
#include "capture.h"
#include "kovactl.h"

namespace kova::ctl {

namespace {

// Every capture operation acts on the engine selected first.
void select(const Args &args) {
    Kova_SelectCaptureIndex(static_cast<unsigned short>(args.unit));
}

template <void (*Operation)()>
constexpr Handler plain = on_unit<Kova_SelectCaptureIndex, Operation>;

int init(const Options &, const Args &a) {
    select(a);
    Kova_InitCapture(u16(a.value[0]));
    return kExitOk;
}

int window(const Options &, const Args &a) {
    select(a);
    Kova_SetCapSrcWindow(u16(a.value[0]), u16(a.value[1]), u16(a.value[2]), u16(a.value[3]));
    return kExitOk;
}

int dest(const Options &, const Args &a) {
    select(a);
    Kova_SetCapDstAddr(a.value[0], u16(a.value[1]), u16(a.value[2]), u16(a.value[3]));
    return kExitOk;
}

int scale(const Options &, const Args &a) {
    select(a);
    Kova_SetCaptureScale(u16(a.value[0]), u16(a.value[1]), u16(a.value[2]), u16(a.value[3]),
                         static_cast<unsigned char>(a.value[4]));
    return kExitOk;
}

int guard(const Options &, const Args &a) {
    select(a);
    Kova_SetCapSafeGuardAddr(a.value[0]);
    return kExitOk;
}

int back_buffer(const Options &, const Args &a) {
    select(a);
    Kova_SetBackBuffer_addr(a.value[0]);
    return kExitOk;
}

int double_buffer(const Options &, const Args &a) {
    select(a);
    Kova_EnableDoubleBuffer(static_cast<unsigned char>(a.value[0]));
    return kExitOk;
}

int polarity(const Options &, const Args &a) {
    select(a);
    Kova_InvertFieldPolarity(static_cast<unsigned char>(a.value[0]));
    return kExitOk;
}

constexpr std::uint32_t kMaxAddress = 0x5FFFFF; // 6 MiB, the largest video memory
constexpr ArgSpec kInitArgs[] = {{"MODE", ArgSpec::Kind::Number, 0, 1}};
constexpr ArgSpec kWindowArgs[] = {{"X1", ArgSpec::Kind::Number, 0, 0xFFFF},
                                   {"X2", ArgSpec::Kind::Number, 0, 0xFFFF},
                                   {"Y1", ArgSpec::Kind::Number, 0, 0xFFFF},
                                   {"Y2", ArgSpec::Kind::Number, 0, 0xFFFF}};
// The pitch register holds PITCH / 4 in 8 bits: 1024 pixels and more would wrap.
constexpr ArgSpec kDestArgs[] = {{"ADDR", ArgSpec::Kind::Number, 0, kMaxAddress, nullptr, false, 0, true},
                                 {"X", ArgSpec::Kind::Number, 0, 0xFFFF},
                                 {"Y", ArgSpec::Kind::Number, 0, 0xFFFF},
                                 {"PITCH", ArgSpec::Kind::Number, 0, 1023}};
constexpr ArgSpec kScaleArgs[] = {{"SRCW", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"DSTW", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"SRCH", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"DSTH", ArgSpec::Kind::Number, 0, 0xFFFF},
                                  {"FIELDS", ArgSpec::Kind::Number, 0, 1}};
constexpr ArgSpec kAddressArgs[] = {{"ADDR", ArgSpec::Kind::Number, 0, kMaxAddress, nullptr, false, 0, true}};
constexpr ArgSpec kOnOffArgs[] = {{"on|off", ArgSpec::Kind::Choice, 0, 0, "off|on"}};
constexpr ArgSpec kPolarityArgs[] = {{"normal|inverted", ArgSpec::Kind::Choice, 0, 0, "normal|inverted"}};

constexpr Command kCommands[] = {
    {.name = "capture",
     .numbered = true,
     .word = "init",
     .args = kInitArgs,
     .writes = true,
     .handler = init,
     .help = "prepare the engine, held (MODE 0 inverts the field polarity)"},
    {.name = "capture",
     .numbered = true,
     .word = "window",
     .args = kWindowArgs,
     .writes = true,
     .handler = window,
     .help = "input window: pixels X1 to X2, lines Y1 to Y2"},
    {.name = "capture",
     .numbered = true,
     .word = "dest",
     .args = kDestArgs,
     .writes = true,
     .handler = dest,
     .help = "destination: byte address ADDR plus X pixels and Y lines of PITCH pixels"},
    {.name = "capture",
     .numbered = true,
     .word = "scale",
     .args = kScaleArgs,
     .writes = true,
     .handler = scale,
     .help = "scale factors; FIELDS 1 scales each field to DSTH/2"},
    {.name = "capture",
     .numbered = true,
     .word = "on",
     .writes = true,
     .handler = plain<Kova_CaptureOn>,
     .help = "start capturing"},
    {.name = "capture",
     .numbered = true,
     .word = "off",
     .writes = true,
     .handler = plain<Kova_CaptureOff>,
     .help = "stop capturing"},
    {.name = "capture",
     .numbered = true,
     .word = "cleanup",
     .writes = true,
     .handler = plain<Kova_CaptureCleanUp>,
     .help = "switch the capture set-up off"},
    {.name = "capture",
     .numbered = true,
     .word = "guard",
     .args = kAddressArgs,
     .writes = true,
     .handler = guard,
     .help = "guard address: the first byte after the buffer"},
    {.name = "capture",
     .numbered = true,
     .word = "backbuffer",
     .args = kAddressArgs,
     .writes = true,
     .handler = back_buffer,
     .help = "back-buffer byte address"},
    {.name = "capture",
     .numbered = true,
     .word = "double",
     .args = kOnOffArgs,
     .writes = true,
     .handler = double_buffer,
     .help = "double buffering"},
    {.name = "capture",
     .numbered = true,
     .word = "polarity",
     .args = kPolarityArgs,
     .writes = true,
     .handler = polarity,
     .help = "field polarity"},
};

} // namespace

std::span<const Command> capture_commands() {
    return kCommands;
}

} // namespace kova::ctl
