// The register map: every register the library touches, declared once, with
// its file, index, page (for paged registers) and bit fields.  The library
// modules, the simulated controller and the tools read registers by these
// names.  A register with several fields has them declared by name first, in
// a namespace named after it, and is built from them; a register with one
// field gives it as field().  Every register is declared with KOVA_REGISTER
// and listed in kRegisters at the end, which the compiler checks complete.
//
// C++ only and header-only: every name here is a constant expression, so the
// hardware object modules that include it gain no data, no constructors and
// no symbols.
//
// Files: GR, SR and CR are the indexed files behind the index/data port pairs
// 0x3CE/0x3CF, 0x3C4/0x3C5 and 0x3D4/0x3D5; Port a single port; TV a 16-bit
// register of the TV encoder region; CAP the register file of the current
// capture engine (GR in page 0x00 or 0x80 of GR FA); OVL the register file of
// the current overlay window (GR for window 0, SR for window 1).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace kova::reg {

enum class File : std::uint8_t { GR, SR, CR, Port, TV, CAP, OVL };

// Which register pages a register: none, GR FA or GR BF.
enum class Pager : std::uint8_t { None, GrFA, GrBF };

// The page of a paged register that is "whichever page is current".
inline constexpr int kCurrentPage = -1;

// A bit field: `width` bits from bit `shift` upward.
struct Field {
    std::uint8_t shift = 0;
    std::uint8_t width = 0;
    const char *meaning = nullptr;

    constexpr std::uint32_t mask() const { return ((1u << width) - 1u) << shift; }
    // The value v placed in the field (bits of v beyond the field dropped).
    constexpr std::uint32_t place(std::uint32_t v) const { return (v << shift) & mask(); }
    // The field's value in a register value.
    constexpr unsigned extract(unsigned register_value) const { return (register_value & mask()) >> shift; }
};

inline constexpr std::size_t kMaxFields = 8;

// Where a register is: what the access sequences need of it.  Code that
// reaches the machine takes an Address by value, so that no entry of the map
// is ever stored in an object module.
struct Address {
    File file;
    std::uint16_t index;
    std::uint8_t span;

    constexpr std::uint8_t at(unsigned n = 0) const { return static_cast<std::uint8_t>(index + n); }
};

struct Register {
    File file;
    std::uint16_t index;
    Pager pager;
    int page;          // for a paged register: its page, or kCurrentPage
    std::uint8_t span; // consecutive byte registers holding one value, low byte first
    const char *name;  // short readable name for tools
    std::array<Field, kMaxFields> fields;

    constexpr operator Address() const { return {file, index, span}; }

    // The index as the byte written to an index port.
    constexpr std::uint8_t at() const { return static_cast<std::uint8_t>(index); }
    // The index of byte n of a multi-byte value.
    constexpr std::uint8_t at(unsigned n) const { return static_cast<std::uint8_t>(index + n); }
    // The first field: the one field of a register that has one.
    constexpr Field field() const { return fields[0]; }
    // Bits of the whole value: 16 for a TV register, else 8 per byte register.
    constexpr unsigned width() const { return file == File::TV ? 16u : 8u * span; }
    constexpr std::size_t field_count() const {
        std::size_t n = 0;
        while (n < kMaxFields && fields[n].width != 0)
            ++n;
        return n;
    }
};

using Fields = std::array<Field, kMaxFields>;

constexpr Register gr(std::uint8_t index, const char *name, Fields fields = {}, std::uint8_t span = 1) {
    return {File::GR, index, Pager::None, kCurrentPage, span, name, fields};
}
constexpr Register gr_fa(std::uint8_t index, int page, const char *name, Fields fields = {}) {
    return {File::GR, index, Pager::GrFA, page, 1, name, fields};
}
constexpr Register gr_bf(std::uint8_t index, int page, const char *name, Fields fields = {}) {
    return {File::GR, index, Pager::GrBF, page, 1, name, fields};
}
constexpr Register sr(std::uint8_t index, const char *name, Fields fields = {}) {
    return {File::SR, index, Pager::None, kCurrentPage, 1, name, fields};
}
constexpr Register sr_fa(std::uint8_t index, int page, const char *name, Fields fields = {}) {
    return {File::SR, index, Pager::GrFA, page, 1, name, fields};
}
constexpr Register cr(std::uint8_t index, const char *name, Fields fields = {}) {
    return {File::CR, index, Pager::None, kCurrentPage, 1, name, fields};
}
constexpr Register port(std::uint16_t number, const char *name, Fields fields = {}) {
    return {File::Port, number, Pager::None, kCurrentPage, 1, name, fields};
}
constexpr Register tv(std::uint16_t index, const char *name, Fields fields = {}) {
    return {File::TV, index, Pager::None, kCurrentPage, 1, name, fields};
}
// A capture register lives in the current engine's page of GR FA.
constexpr Register cap(std::uint8_t index, const char *name, Fields fields = {}, std::uint8_t span = 1) {
    return {File::CAP, index, Pager::GrFA, kCurrentPage, span, name, fields};
}
constexpr Register ovl(std::uint8_t index, const char *name, Fields fields = {}, std::uint8_t span = 1) {
    return {File::OVL, index, Pager::None, kCurrentPage, span, name, fields};
}

// Declares a register of the map and counts it: kRegisters, at the end, is
// checked at compile time to list every register declared this way.
constexpr int kRegisterCountBefore = __COUNTER__;
#define KOVA_REGISTER(name)                                                                                  \
    static_assert(__COUNTER__ > kRegisterCountBefore);                                                       \
    inline constexpr Register name

// ---------------------------------------------------------------------------
// Masks and masked writes derived from fields.

template <typename... F>
constexpr std::uint32_t mask_of(F... fields) {
    // cppcheck-suppress badBitmaskCheck ; 0 is the fold's identity, the mask of no field
    return (0u | ... | fields.mask());
}

// The keep mask of a byte register that keeps every bit but the given fields.
template <typename... F>
constexpr std::uint8_t keep_all_but(F... fields) {
    return static_cast<std::uint8_t>(~mask_of(fields...));
}

// The keep mask of a TV register that keeps every bit but the given fields.
template <typename... F>
constexpr std::uint16_t tv_keep_all_but(F... fields) {
    return static_cast<std::uint16_t>(~mask_of(fields...));
}

// One masked write of a byte register: the bits to write and the keep mask.
// Changes of several fields combine with |.
struct Change {
    std::uint8_t value;
    std::uint8_t keep;

    constexpr Change operator|(Change other) const {
        return {static_cast<std::uint8_t>(value | other.value), static_cast<std::uint8_t>(keep & other.keep)};
    }
};

// Field f becomes v; every other bit is kept.
constexpr Change set(Field f, std::uint32_t v) {
    return {static_cast<std::uint8_t>(f.place(v)), keep_all_but(f)};
}

// The given fields keep their bits; every other bit becomes 0.
template <typename... F>
constexpr Change clear_all_but(F... fields) {
    return {0, static_cast<std::uint8_t>(mask_of(fields...))};
}

// A whole register image in which the given fields keep their old bits.
template <typename... F>
constexpr Change image_keeping(std::uint8_t image, F... fields) {
    return {image, static_cast<std::uint8_t>(mask_of(fields...))};
}

// ---------------------------------------------------------------------------
// Single ports.

KOVA_REGISTER(kSrIndex) = port(0x3C4, "sequencer index");
KOVA_REGISTER(kSrData) = port(0x3C5, "sequencer data");
namespace dac_mask {
inline constexpr Field kRamdacPowerDown{0, 1, "RAMDAC power-down, with bit 6"};
inline constexpr Field kPowerDown{6, 1, "DAC power-down (1 = off)"};
} // namespace dac_mask
KOVA_REGISTER(kDacMask) = port(0x3C6, "DAC mask", {{dac_mask::kRamdacPowerDown, dac_mask::kPowerDown}});
namespace misc_output {
inline constexpr Field kClockSelect{2, 2, "pixel clock select"};
} // namespace misc_output
KOVA_REGISTER(kMiscOutputRead) = port(0x3CC, "misc output read", {{misc_output::kClockSelect}});
KOVA_REGISTER(kGrIndex) = port(0x3CE, "graphics index");
KOVA_REGISTER(kGrData) = port(0x3CF, "graphics data");
KOVA_REGISTER(kCrIndex) = port(0x3D4, "CRT index");
KOVA_REGISTER(kCrData) = port(0x3D5, "CRT data");
namespace input_status {
inline constexpr Field kBlanking{0, 1, "display blanked"};
inline constexpr Field kVerticalRetrace{3, 1, "vertical retrace"};
} // namespace input_status
KOVA_REGISTER(kInputStatus) = port(0x3DA, "input status",
                                   {{input_status::kBlanking, input_status::kVerticalRetrace}});

// ---------------------------------------------------------------------------
// GR: page selects.

KOVA_REGISTER(kPageSelect) = gr(0xFA, "page select", {{{0, 8, "page of the GR/SR registers paged by it"}}});
KOVA_REGISTER(kPageSelectB) = gr(0xBF, "page select B", {{{0, 8, "page of GR B1, BA, BB, BE"}}});
// Pages of GR FA.
namespace page {
inline constexpr std::uint8_t kCommon = 0x00;  // capture engine 0 and the common registers
inline constexpr std::uint8_t kEngine1 = 0x80; // capture engine 1 and the double-buffer registers
inline constexpr std::uint8_t kBackBufferCopy = 0x01;
inline constexpr std::uint8_t kSyncStatus = 0x03;
inline constexpr std::uint8_t kTvOutput = 0x05;
inline constexpr std::uint8_t kOutputSwitch = 0x08;
} // namespace page
// Pages of GR BF.
namespace page_b {
inline constexpr std::uint8_t kCommon = 0x00;
inline constexpr std::uint8_t kVideoPort = 0x01; // also TV sensing
inline constexpr std::uint8_t kCrtDac = 0x02;
inline constexpr std::uint8_t kCrtSense = 0x40;
} // namespace page_b

// ---------------------------------------------------------------------------
// GR: screen mode, memory, chip identity, clocks.

KOVA_REGISTER(kExtendedVertical) = gr(0x11, "extended vertical", {{{1, 1, "vertical display end bit 10"}}});
KOVA_REGISTER(kApertureControl) = gr(0x33, "aperture control", {{{0, 1, "linear aperture enable"}}});
KOVA_REGISTER(kApertureBase) = gr(0x35, "aperture base", {{{0, 8, "physical address bits 31-24"}}});
namespace dac_access {
inline constexpr Field kMaskPort{2, 1, "DAC mask port access"};
} // namespace dac_access
KOVA_REGISTER(kDacAccess) = gr(0x56, "DAC access", {{dac_access::kMaskPort}});
KOVA_REGISTER(kFetchControl) = gr(0x70, "display fetch control", {{{6, 1, "display fetch reset"}}});
namespace memory_config {
inline constexpr Field kSizeCode{0, 2, "memory size code"};
inline constexpr Field kWideBus{2, 1, "wide memory bus"};
} // namespace memory_config
KOVA_REGISTER(kMemoryConfig) = gr(0x72, "memory configuration",
                                  {{memory_config::kSizeCode, memory_config::kWideBus}});
KOVA_REGISTER(kFifoThreshold1) = gr(0x74, "FIFO threshold 1");
KOVA_REGISTER(kFifoThreshold2) = gr(0x75, "FIFO threshold 2");
KOVA_REGISTER(kPixelDepth) = gr(0x77, "pixel depth", {{{0, 3, "depth code"}}});
KOVA_REGISTER(kChipRevision) = gr(0x91, "chip revision", {{{4, 4, "revision"}}});
KOVA_REGISTER(kChipId) = gr(0x92, "chip identifier", {{{0, 8, "identifier"}}});
// The fields of the M and high synthesiser registers, alike for both clocks.
namespace clock {
inline constexpr Field kFeedbackLow{0, 8, "feedback divider bits 7-0"};
inline constexpr Field kReferenceLow{0, 5, "reference divider bits 4-0"};
inline constexpr Field kPostDivider{6, 2, "post divider"};
inline constexpr Field kFeedbackHigh{0, 3, "feedback divider bits 10-8"};
inline constexpr Field kReferenceHigh{3, 3, "reference divider bits 7-5"};
inline constexpr Field kPostDividerHigh{6, 1, "post divider bit 2"};
inline constexpr Fields kM{{kReferenceLow, kPostDivider}};
inline constexpr Fields kHigh{{kFeedbackHigh, kReferenceHigh, kPostDividerHigh}};
} // namespace clock
KOVA_REGISTER(kPixelClockN) = gr(0xB0, "pixel clock N", {{clock::kFeedbackLow}});
KOVA_REGISTER(kPixelClockM) = gr_bf(0xB1, kCurrentPage, "pixel clock M", clock::kM);
KOVA_REGISTER(kMemoryClockN) = gr(0xB2, "memory clock N", {{clock::kFeedbackLow}});
KOVA_REGISTER(kMemoryClockM) = gr(0xB3, "memory clock M", clock::kM);
KOVA_REGISTER(kClockLoad) = gr(0xB9, "clock load", {{{7, 1, "load the synthesiser"}}});
KOVA_REGISTER(kPixelClockHigh) = gr_bf(0xBA, kCurrentPage, "pixel clock high", clock::kHigh);
KOVA_REGISTER(kMemoryClockHigh) = gr_bf(0xBB, kCurrentPage, "memory clock high", clock::kHigh);

// ---------------------------------------------------------------------------
// GR: display detection and DAC switches (paged by GR BF or GR FA).

KOVA_REGISTER(kTvSenseStatus) = gr_bf(0xB1, page_b::kVideoPort, "TV sense status",
                                      {{{2, 1, "TV sensing possible"}}});
KOVA_REGISTER(kCrtDacControl) = gr_bf(0xB1, page_b::kCrtDac, "CRT DAC control",
                                      {{{0, 6, "CRT DAC power-down (all set = off)"}}});
KOVA_REGISTER(kCrtSense) = gr_bf(0xBE, page_b::kCrtSense, "CRT sense", {{{5, 2, "sense code"}}});
namespace tv_output {
inline constexpr Field kTestClear{0, 1, "colour test: cleared during the test"};
inline constexpr Field kTestSet{1, 1, "colour test: set during the test"};
inline constexpr Field kDacEnable{2, 1, "TV DAC enable"};
} // namespace tv_output
KOVA_REGISTER(kTvOutputControl) = gr_fa(0x4E, page::kTvOutput, "TV output control",
                                        {{tv_output::kTestClear, tv_output::kTestSet,
                                          tv_output::kDacEnable}});

// ---------------------------------------------------------------------------
// GR: capture (common registers in page 0x00 unless paged otherwise).

KOVA_REGISTER(kBackBufferCopyLow) = gr_fa(0x41, page::kBackBufferCopy, "back buffer copy low",
                                          {{{0, 8, "back-buffer address bits 7-0"}}});
KOVA_REGISTER(kBackBufferCopyMid) = gr_fa(0x42, page::kBackBufferCopy, "back buffer copy mid",
                                          {{{0, 8, "back-buffer address bits 15-8"}}});
KOVA_REGISTER(kSyncStatus) = gr_fa(0x43, page::kSyncStatus, "sync status", {{{7, 1, "vertical sync"}}});
KOVA_REGISTER(kGuard0Low) = gr(0x45, "capture guard 0 low", {{{0, 8, "address bits 7-0"}}});
KOVA_REGISTER(kGuard0Mid) = gr(0x46, "capture guard 0 mid", {{{0, 8, "address bits 15-8"}}});
KOVA_REGISTER(kGuard1Low) = gr(0x47, "capture guard 1 low", {{{0, 8, "address bits 7-0"}}});
KOVA_REGISTER(kGuard1Mid) = gr(0x48, "capture guard 1 mid", {{{0, 8, "address bits 15-8"}}});
namespace guard_high {
inline constexpr Field kEngine0{0, 4, "engine 0 address bits 19-16"};
inline constexpr Field kEngine1{4, 4, "engine 1 address bits 19-16"};
} // namespace guard_high
KOVA_REGISTER(kGuardHigh) = gr(0x49, "capture guard high", {{guard_high::kEngine0, guard_high::kEngine1}});
KOVA_REGISTER(kCaptureSetup88) = gr(0x88, "capture set-up 88");
KOVA_REGISTER(kCaptureSetup89) = gr(0x89, "capture set-up 89");
KOVA_REGISTER(kCaptureSetupA4) = gr(0xA4, "capture set-up A4", {{{0, 1, "set-up bit 0"}}});
KOVA_REGISTER(kCaptureSetupA5) = gr(0xA5, "capture set-up A5", {{{0, 1, "set-up bit 0"}}});
KOVA_REGISTER(kFifoWindow0) = gr(0xA6, "overlay 0 FIFO control", {{{3, 1, "window 0 FIFO control"}}});
KOVA_REGISTER(kBackBufferLow) = gr(0xA7, "back buffer low", {{{0, 8, "address bits 7-0"}}});
KOVA_REGISTER(kBackBufferMid) = gr(0xA8, "back buffer mid", {{{0, 8, "address bits 15-8"}}});
namespace back_buffer_high {
inline constexpr Field kAddress{0, 4, "address bits 19-16"};
inline constexpr Field kDoubleBuffer{4, 1, "double buffering on"};
} // namespace back_buffer_high
KOVA_REGISTER(kBackBufferHigh) = gr(0xA9, "back buffer high",
                                    {{back_buffer_high::kAddress, back_buffer_high::kDoubleBuffer}});
KOVA_REGISTER(kDoubleBufferControl) = gr(0xAC, "double buffer control", {{{1, 1, "double buffering on"}}});
KOVA_REGISTER(kBackBufferHighCopy) = gr(0xAD, "back buffer high copy", {{{0, 4, "address bits 19-16"}}});
namespace video_port {
inline constexpr Field kLow{0, 2, "video port bits 1-0"};
inline constexpr Field kHigh{7, 1, "video port bit 7"};
} // namespace video_port
KOVA_REGISTER(kVideoPortControl) = gr(0xB5, "video port control", {{video_port::kLow, video_port::kHigh}});
namespace video_port_ba {
inline constexpr Field kBit1{1, 1, "video port bit 1"};
inline constexpr Field kBit7{7, 1, "video port bit 7"};
} // namespace video_port_ba
KOVA_REGISTER(kVideoPortBA) = gr_bf(0xBA, page_b::kVideoPort, "video port BA",
                                    {{video_port_ba::kBit1, video_port_ba::kBit7}});
namespace video_port_bb {
inline constexpr Field kBit1{1, 1, "video port bit 1"};
inline constexpr Field kBit2{2, 1, "video port bit 2"};
} // namespace video_port_bb
KOVA_REGISTER(kVideoPortBB) = gr_bf(0xBB, page_b::kVideoPort, "video port BB",
                                    {{video_port_bb::kBit1, video_port_bb::kBit2}});
namespace double_buffer0 {
inline constexpr Field kBit3{3, 1, "set-up bit 3"};
inline constexpr Field kBits65{5, 2, "set-up bits 6-5"};
} // namespace double_buffer0
KOVA_REGISTER(kDoubleBuffer0) = gr_fa(0xE0, page::kEngine1, "double buffer E0",
                                      {{double_buffer0::kBit3, double_buffer0::kBits65}});
KOVA_REGISTER(kDoubleBuffer3) = gr_fa(0xE3, page::kEngine1, "double buffer E3", {{{3, 1, "set-up bit 3"}}});
KOVA_REGISTER(kDoubleBuffer5) = gr_fa(0xE5, page::kEngine1, "double buffer E5");
KOVA_REGISTER(kDoubleBuffer7) = gr_fa(0xE7, page::kEngine1, "double buffer E7");
KOVA_REGISTER(kDoubleBuffer9) = gr_fa(0xE9, page::kEngine1, "double buffer E9");
KOVA_REGISTER(kCaptureStatus) = gr_fa(0xE5, page::kCommon, "capture status", {{{1, 1, "stopped"}}});
namespace capture_control {
inline constexpr Field kEnable{0, 1, "enable"};
inline constexpr Field kKeptBit1{1, 1, "kept bit 1"};
inline constexpr Field kHold{2, 1, "hold while the address changes"};
inline constexpr Field kStop{3, 1, "stop request"};
inline constexpr Field kKeptBit4{4, 1, "kept bit 4"};
inline constexpr Field kEngineEnables{5, 2, "engine enables"};
inline constexpr Field kKeptBit7{7, 1, "kept bit 7"};
} // namespace capture_control
KOVA_REGISTER(kCaptureControl) =
    gr(0xE8, "capture control",
       {{capture_control::kEnable, capture_control::kKeptBit1, capture_control::kHold, capture_control::kStop,
         capture_control::kKeptBit4, capture_control::kEngineEnables, capture_control::kKeptBit7}});
namespace field_control {
inline constexpr Field kInitial{4, 1, "set at initialisation"};
inline constexpr Field kInverted{5, 1, "fields inverted"};
} // namespace field_control
KOVA_REGISTER(kFieldControl) = gr_fa(0xE9, page::kCommon, "field control",
                                     {{field_control::kInitial, field_control::kInverted}});
KOVA_REGISTER(kFieldScaleControl) = gr(0xEF, "frame scale control", {{{2, 1, "frame scaling"}}});
KOVA_REGISTER(kFifoCommon) = gr(0xF1, "overlay FIFO common", {{{6, 2, "FIFO policy"}}});
KOVA_REGISTER(kDoubleBufferGate) = gr(0xF7, "double buffer gate");

// Capture register file of the current engine.
KOVA_REGISTER(kCapXStart) = cap(0x60, "capture x start", {{{0, 16, "2 x first pixel + 1"}}}, 2);
KOVA_REGISTER(kCapXEnd) = cap(0x62, "capture x end", {{{0, 16, "2 x end pixel + 2"}}}, 2);
KOVA_REGISTER(kCapYStart) = cap(0x64, "capture y start", {{{0, 16, "first line"}}}, 2);
KOVA_REGISTER(kCapYEnd) = cap(0x66, "capture y end", {{{0, 16, "end line"}}}, 2);
KOVA_REGISTER(kCapHStep) = cap(0x68, "capture h step", {{{0, 16, "0x0800 at initialisation"}}}, 2);
KOVA_REGISTER(kCapHScale) = cap(0x6A, "capture h scale", {{{0, 16, "4.12 factor"}}}, 2);
KOVA_REGISTER(kCapVStep) = cap(0x6C, "capture v step", {{{0, 16, "0x0800 at initialisation"}}}, 2);
KOVA_REGISTER(kCapVScale) = cap(0x6E, "capture v scale", {{{0, 16, "4.12 factor"}}}, 2);
namespace cap_field_scale {
inline constexpr Field kFieldScaling{1, 1, "field scaling"};
inline constexpr Field kBit5{5, 1, "kept bit 5"};
} // namespace cap_field_scale
KOVA_REGISTER(kCapFieldScale) = cap(0xEA, "capture field scale",
                                    {{cap_field_scale::kFieldScaling, cap_field_scale::kBit5}});
KOVA_REGISTER(kCapAddress) = cap(0xEB, "capture address", {{{0, 20, "destination in 4-byte units"}}}, 3);
KOVA_REGISTER(kCapPitch) = cap(0xEE, "capture pitch", {{{0, 8, "pitch in units of 4 pixels"}}});

// ---------------------------------------------------------------------------
// Overlay register file of the current window.

KOVA_REGISTER(kOvlStart) = ovl(0xC0, "overlay start", {{{0, 24, "start in 4-byte units"}}}, 3);
KOVA_REGISTER(kOvlPitch) = ovl(0xC3, "overlay pitch", {{{0, 8, "pitch bits 7-0, 8-byte units"}}});
namespace ovl_pitch_high {
inline constexpr Field kPitch{0, 4, "pitch bits 11-8"};
inline constexpr Field kFetch{4, 4, "fetch bits 11-8"};
} // namespace ovl_pitch_high
KOVA_REGISTER(kOvlPitchHigh) = ovl(0xC4, "overlay pitch high",
                                   {{ovl_pitch_high::kPitch, ovl_pitch_high::kFetch}});
KOVA_REGISTER(kOvlLeft) = ovl(0xC5, "overlay left", {{{0, 16, "left edge"}}}, 2);
KOVA_REGISTER(kOvlRight) = ovl(0xC7, "overlay right", {{{0, 16, "right edge"}}}, 2);
KOVA_REGISTER(kOvlTop) = ovl(0xC9, "overlay top", {{{0, 16, "top edge"}}}, 2);
KOVA_REGISTER(kOvlBottom) = ovl(0xCB, "overlay bottom", {{{0, 16, "bottom edge"}}}, 2);
KOVA_REGISTER(kOvlFetch) = ovl(0xCD, "overlay fetch", {{{0, 8, "fetch bits 7-0, 8-byte units"}}});
KOVA_REGISTER(kOvlKeyColour) = ovl(0xCE, "overlay key colour", {{{0, 24, "key colour"}}}, 3);
KOVA_REGISTER(kOvlHStep) = ovl(0xD1, "overlay h step", {{{0, 16, "0x0800"}}}, 2);
KOVA_REGISTER(kOvlHFactor) = ovl(0xD3, "overlay h factor", {{{0, 16, "4.12 factor"}}}, 2);
KOVA_REGISTER(kOvlVStep) = ovl(0xD5, "overlay v step", {{{0, 16, "0x0800"}}}, 2);
KOVA_REGISTER(kOvlVFactor) = ovl(0xD7, "overlay v factor", {{{0, 16, "4.12 factor"}}}, 2);
KOVA_REGISTER(kOvlFifo1) = ovl(0xD9, "overlay FIFO 1");
KOVA_REGISTER(kOvlFifo2) = ovl(0xDA, "overlay FIFO 2");
KOVA_REGISTER(kOvlFormat) = ovl(0xDB, "overlay format", {{{0, 3, "format code"}}});
namespace ovl_control {
inline constexpr Field kMode{1, 1, "mode"};
inline constexpr Field kEnable{2, 1, "enable"};
inline constexpr Field kWide{5, 1, "wide source"};
inline constexpr Field kOn{7, 1, "on"};
} // namespace ovl_control
KOVA_REGISTER(kOvlControl) = ovl(0xDC, "overlay control",
                                 {{ovl_control::kMode, ovl_control::kEnable, ovl_control::kWide,
                                   ovl_control::kOn}});
namespace ovl_fifo_control {
inline constexpr Field kPolicy0{0, 1, "FIFO policy bit 0"};
inline constexpr Field kBit1{1, 1, "FIFO control bit 1"};
inline constexpr Field kPolicy2{2, 1, "FIFO policy bit 2"};
inline constexpr Field kBit4{4, 1, "FIFO control bit 4"};
} // namespace ovl_fifo_control
KOVA_REGISTER(kOvlFifoControl) = ovl(0xDD, "overlay FIFO control",
                                     {{ovl_fifo_control::kPolicy0, ovl_fifo_control::kBit1,
                                       ovl_fifo_control::kPolicy2, ovl_fifo_control::kBit4}});
// GR DE of window 0 and SR DE of window 1.
namespace ovl_display {
inline constexpr Field kWindow1OnTop{0, 1, "window 1 on top (SR DE)"};
inline constexpr Field kFetchReset{6, 1, "display fetch reset"};
} // namespace ovl_display
KOVA_REGISTER(kOvlDisplay) = ovl(0xDE, "overlay display",
                                 {{ovl_display::kWindow1OnTop, ovl_display::kFetchReset}});

// ---------------------------------------------------------------------------
// SR.

KOVA_REGISTER(kOutputSwitch) = sr(0x4A, "sync-lock output switch", {{{3, 1, "sync-lock video output"}}});
namespace output_switch2 {
inline constexpr Field kBit0{0, 1, "output bit 0"};
inline constexpr Field kBit4{4, 1, "output bit 4"};
inline constexpr Field kHigh{6, 2, "output bits 7-6"};
} // namespace output_switch2
KOVA_REGISTER(kOutputSwitch2) = sr_fa(0x4F, page::kOutputSwitch, "sync-lock output switch 2",
                                      {{output_switch2::kBit0, output_switch2::kBit4,
                                        output_switch2::kHigh}});
KOVA_REGISTER(kVideoRoute) = sr(0xA0, "video port route", {{{7, 1, "engine 1"}}});
KOVA_REGISTER(kSafeguard) = sr(0xA2, "capture guard control", {{{2, 1, "guard on"}}});
KOVA_REGISTER(kVideoPortSetupA3) = sr(0xA3, "video port set-up A3", {{{6, 2, "video port bits 7-6"}}});
namespace port_mode {
inline constexpr Field kBit0{0, 1, "mode bit 0"};
inline constexpr Field kBit4{4, 1, "mode bit 4"};
} // namespace port_mode
KOVA_REGISTER(kPortMode) = sr(0xA4, "video port mode", {{port_mode::kBit0, port_mode::kBit4}});
KOVA_REGISTER(kVideoPortSetupA5) = sr(0xA5, "video port set-up A5", {{{6, 2, "video port bits 7-6"}}});
namespace line_buffer {
inline constexpr Field kClock{4, 1, "video clock bit"};
inline constexpr Field kBit5{5, 1, "line buffer bit 5"};
inline constexpr Field kWide0{6, 1, "window 0 above 360 pixels"};
inline constexpr Field kWide1{7, 1, "window 1 above 360 pixels"};
} // namespace line_buffer
KOVA_REGISTER(kLineBuffer) = sr(0xA6, "line buffer and clock",
                                {{line_buffer::kClock, line_buffer::kBit5, line_buffer::kWide0,
                                  line_buffer::kWide1}});
namespace field_mode {
inline constexpr Field kDouble0{0, 1, "window 0 BOB 2:1"};
inline constexpr Field kDouble1{1, 1, "window 1 BOB 2:1"};
inline constexpr Field kBob0{2, 1, "window 0 BOB"};
inline constexpr Field kBob1{3, 1, "window 1 BOB"};
} // namespace field_mode
KOVA_REGISTER(kFieldMode) = sr(0xA7, "overlay field mode",
                               {{field_mode::kDouble0, field_mode::kDouble1, field_mode::kBob0,
                                 field_mode::kBob1}});

// The extended-sync block SR E0-EF (SR E3 is not part of it).
KOVA_REGISTER(kExtSyncE0) = sr(0xE0, "ext sync E0");
KOVA_REGISTER(kExtSyncE1) = sr(0xE1, "ext sync E1");
KOVA_REGISTER(kExtSyncE2) = sr(0xE2, "ext sync E2");
KOVA_REGISTER(kExtSyncE4) = sr(0xE4, "ext sync E4");
KOVA_REGISTER(kExtSyncE5) = sr(0xE5, "ext sync E5");
KOVA_REGISTER(kExtSyncE6) = sr(0xE6, "ext sync E6");
KOVA_REGISTER(kExtSyncE7) = sr(0xE7, "ext sync E7");
KOVA_REGISTER(kExtSyncE8) = sr(0xE8, "ext sync E8");
KOVA_REGISTER(kExtSyncE9) = sr(0xE9, "ext sync E9");
KOVA_REGISTER(kExtSyncEA) = sr(0xEA, "ext sync EA");
KOVA_REGISTER(kVcrControl) = sr(0xEB, "VCR control", {{{7, 1, "VCR setting off"}}});
namespace ext_sync_ec {
inline constexpr Field kBit2{2, 1, "video clock bit 2"};
inline constexpr Field kBit4{4, 1, "video clock bit 4"};
} // namespace ext_sync_ec
KOVA_REGISTER(kExtSyncEC) = sr(0xEC, "ext sync EC", {{ext_sync_ec::kBit2, ext_sync_ec::kBit4}});
namespace ext_sync_ed {
inline constexpr Field kRoute{4, 1, "video port to engine 1"};
inline constexpr Field kBit5{5, 1, "sync bit 5"};
inline constexpr Field kBit6{6, 1, "sync bit 6"};
} // namespace ext_sync_ed
KOVA_REGISTER(kExtSyncED) = sr(0xED, "ext sync ED",
                               {{ext_sync_ed::kRoute, ext_sync_ed::kBit5, ext_sync_ed::kBit6}});
namespace clock_ee {
inline constexpr Field kBit0{0, 1, "clock bit 0"};
inline constexpr Field kBit7{7, 1, "clock bit 7"};
} // namespace clock_ee
KOVA_REGISTER(kClockEE) = sr(0xEE, "clock EE", {{clock_ee::kBit0, clock_ee::kBit7}});
namespace clock_ef {
inline constexpr Field kBit0{0, 1, "clock bit 0"};
inline constexpr Field kEngine1{1, 1, "capture engine 1 on the video port"};
inline constexpr Field kSelect0{2, 1, "clock select 0"};
inline constexpr Field kVariant1{3, 1, "variant 1"};
inline constexpr Field kGenlock{4, 2, "genlock bits 5-4"};
inline constexpr Field kHigh{6, 2, "kept bits 7-6"};
} // namespace clock_ef
KOVA_REGISTER(kClockEF) = sr(0xEF, "clock EF",
                             {{clock_ef::kBit0, clock_ef::kEngine1, clock_ef::kSelect0, clock_ef::kVariant1,
                               clock_ef::kGenlock, clock_ef::kHigh}});

// ---------------------------------------------------------------------------
// CR.

KOVA_REGISTER(kHorizontalTotal) = cr(0x00, "horizontal total");
KOVA_REGISTER(kHorizontalDisplayEnd) = cr(0x01, "horizontal display end", {{{0, 8, "bits 7-0"}}});
KOVA_REGISTER(kHorizontalBlankStart) = cr(0x02, "horizontal blank start");
KOVA_REGISTER(kHorizontalBlankEnd) = cr(0x03, "horizontal blank end");
KOVA_REGISTER(kHorizontalRetraceStart) = cr(0x04, "horizontal retrace start");
KOVA_REGISTER(kHorizontalRetraceEnd) = cr(0x05, "horizontal retrace end");
KOVA_REGISTER(kVerticalTotal) = cr(0x06, "vertical total");
namespace overflow {
inline constexpr Field kVde8{1, 1, "vertical display end bit 8"};
inline constexpr Field kVde9{6, 1, "vertical display end bit 9"};
} // namespace overflow
KOVA_REGISTER(kOverflow) = cr(0x07, "overflow", {{overflow::kVde8, overflow::kVde9}});
KOVA_REGISTER(kMaxScanLine) = cr(0x09, "maximum scan line");
KOVA_REGISTER(kVerticalRetraceStart) = cr(0x10, "vertical retrace start");
KOVA_REGISTER(kVerticalRetraceEnd) = cr(0x11, "vertical retrace end", {{{7, 1, "protect CR 00-07"}}});
KOVA_REGISTER(kVerticalDisplayEnd) = cr(0x12, "vertical display end", {{{0, 8, "bits 7-0"}}});
KOVA_REGISTER(kVerticalBlankStart) = cr(0x15, "vertical blank start");
KOVA_REGISTER(kVerticalBlankEnd) = cr(0x16, "vertical blank end");
KOVA_REGISTER(kCrtUnlock) = cr(0x1F, "CRT unlock");
KOVA_REGISTER(kSyncLock28) = cr(0x28, "sync lock 28");
KOVA_REGISTER(kSyncLock29) = cr(0x29, "sync lock 29");
KOVA_REGISTER(kSyncLock2A) = cr(0x2A, "sync lock 2A");
KOVA_REGISTER(kSyncLock2B) = cr(0x2B, "sync lock 2B");
KOVA_REGISTER(kExtendedHorizontal) = cr(0x53, "extended horizontal",
                                        {{{1, 1, "horizontal display end bit 8"}}});

// ---------------------------------------------------------------------------
// TV encoder.

// The first registers of the sync-lock TV images: 16-bit registers every 4
// bytes from E428, and 32-bit values as register pairs every 4 bytes from E530.
KOVA_REGISTER(kTvImage16First) = tv(0xE428, "TV image 16-bit start");
KOVA_REGISTER(kTvImage32First) = tv(0xE530, "TV image 32-bit start");
namespace tv_dac {
inline constexpr Field kDrive0{0, 1, "drive bit 0"};
inline constexpr Field kDrive1{1, 1, "drive bit 1"};
inline constexpr Field kSenseCode{6, 2, "sense code"};
inline constexpr Field kDrive8{8, 1, "drive bit 8"};
} // namespace tv_dac
KOVA_REGISTER(kTvDacControl) = tv(0xE430, "TV DAC control",
                                  {{tv_dac::kDrive0, tv_dac::kDrive1, tv_dac::kSenseCode, tv_dac::kDrive8}});
KOVA_REGISTER(kTvStandard) = tv(0xE438, "TV standard", {{{12, 1, "NTSC"}}});
KOVA_REGISTER(kTvColourLevelA) = tv(0xE440, "TV colour level A");
KOVA_REGISTER(kTvColourLevelB) = tv(0xE448, "TV colour level B");
KOVA_REGISTER(kTvColourResult) = tv(0xE454, "TV colour result", {{{8, 1, "colour right"}}});
KOVA_REGISTER(kTvColourFlip) = tv(0xE46C, "TV colour flip", {{{0, 1, "flip"}}});
KOVA_REGISTER(kTvVcr) = tv(0xE478, "TV VCR mode");
KOVA_REGISTER(kTvDeferred) = tv(0xE47C, "TV deferred");
KOVA_REGISTER(kTvE4EC) = tv(0xE4EC, "TV video clock E4EC", {{{3, 1, "NTSC video clock"}}});
KOVA_REGISTER(kTvSenseMask) = tv(0xE4FC, "TV sense mask");
KOVA_REGISTER(kTvSenseLevel) = tv(0xE500, "TV sense level");
KOVA_REGISTER(kTvClockE5F0) = tv(0xE5F0, "TV video clock E5F0");
KOVA_REGISTER(kTvClockE5F2) = tv(0xE5F2, "TV video clock E5F2");
KOVA_REGISTER(kTvClockE5F4) = tv(0xE5F4, "TV video clock E5F4");
namespace tv_e5f6 {
inline constexpr Field kBit1{1, 1, "colour test clears"};
inline constexpr Field kGenlock{4, 2, "genlock bits"};
inline constexpr Field kBit8{8, 1, "colour test clears"};
} // namespace tv_e5f6
KOVA_REGISTER(kTvClockE5F6) = tv(0xE5F6, "TV video clock E5F6",
                                 {{tv_e5f6::kBit1, tv_e5f6::kGenlock, tv_e5f6::kBit8}});
KOVA_REGISTER(kTvColourTestA) = tv(0xE604, "TV colour test A");
KOVA_REGISTER(kTvColourTestB) = tv(0xE606, "TV colour test B");

// ---------------------------------------------------------------------------
// Every register of the map, for programs that iterate.

inline constexpr Register kRegisters[] = {
    kSrIndex,
    kSrData,
    kDacMask,
    kMiscOutputRead,
    kGrIndex,
    kGrData,
    kCrIndex,
    kCrData,
    kInputStatus,
    kPageSelect,
    kPageSelectB,
    kExtendedVertical,
    kApertureControl,
    kApertureBase,
    kDacAccess,
    kFetchControl,
    kMemoryConfig,
    kFifoThreshold1,
    kFifoThreshold2,
    kPixelDepth,
    kChipRevision,
    kChipId,
    kPixelClockN,
    kPixelClockM,
    kMemoryClockN,
    kMemoryClockM,
    kClockLoad,
    kPixelClockHigh,
    kMemoryClockHigh,
    kTvSenseStatus,
    kCrtDacControl,
    kCrtSense,
    kTvOutputControl,
    kBackBufferCopyLow,
    kBackBufferCopyMid,
    kSyncStatus,
    kGuard0Low,
    kGuard0Mid,
    kGuard1Low,
    kGuard1Mid,
    kGuardHigh,
    kCaptureSetup88,
    kCaptureSetup89,
    kCaptureSetupA4,
    kCaptureSetupA5,
    kFifoWindow0,
    kBackBufferLow,
    kBackBufferMid,
    kBackBufferHigh,
    kDoubleBufferControl,
    kBackBufferHighCopy,
    kVideoPortControl,
    kVideoPortBA,
    kVideoPortBB,
    kDoubleBuffer0,
    kDoubleBuffer3,
    kDoubleBuffer5,
    kDoubleBuffer7,
    kDoubleBuffer9,
    kCaptureStatus,
    kCaptureControl,
    kFieldControl,
    kFieldScaleControl,
    kFifoCommon,
    kDoubleBufferGate,
    kCapXStart,
    kCapXEnd,
    kCapYStart,
    kCapYEnd,
    kCapHStep,
    kCapHScale,
    kCapVStep,
    kCapVScale,
    kCapFieldScale,
    kCapAddress,
    kCapPitch,
    kOvlStart,
    kOvlPitch,
    kOvlPitchHigh,
    kOvlLeft,
    kOvlRight,
    kOvlTop,
    kOvlBottom,
    kOvlFetch,
    kOvlKeyColour,
    kOvlHStep,
    kOvlHFactor,
    kOvlVStep,
    kOvlVFactor,
    kOvlFifo1,
    kOvlFifo2,
    kOvlFormat,
    kOvlControl,
    kOvlFifoControl,
    kOvlDisplay,
    kOutputSwitch,
    kOutputSwitch2,
    kVideoRoute,
    kSafeguard,
    kVideoPortSetupA3,
    kPortMode,
    kVideoPortSetupA5,
    kLineBuffer,
    kFieldMode,
    kExtSyncE0,
    kExtSyncE1,
    kExtSyncE2,
    kExtSyncE4,
    kExtSyncE5,
    kExtSyncE6,
    kExtSyncE7,
    kExtSyncE8,
    kExtSyncE9,
    kExtSyncEA,
    kVcrControl,
    kExtSyncEC,
    kExtSyncED,
    kClockEE,
    kClockEF,
    kHorizontalTotal,
    kHorizontalDisplayEnd,
    kHorizontalBlankStart,
    kHorizontalBlankEnd,
    kHorizontalRetraceStart,
    kHorizontalRetraceEnd,
    kVerticalTotal,
    kOverflow,
    kMaxScanLine,
    kVerticalRetraceStart,
    kVerticalRetraceEnd,
    kVerticalDisplayEnd,
    kVerticalBlankStart,
    kVerticalBlankEnd,
    kCrtUnlock,
    kSyncLock28,
    kSyncLock29,
    kSyncLock2A,
    kSyncLock2B,
    kExtendedHorizontal,
    kTvImage16First,
    kTvImage32First,
    kTvDacControl,
    kTvStandard,
    kTvColourLevelA,
    kTvColourLevelB,
    kTvColourResult,
    kTvColourFlip,
    kTvVcr,
    kTvDeferred,
    kTvE4EC,
    kTvSenseMask,
    kTvSenseLevel,
    kTvClockE5F0,
    kTvClockE5F2,
    kTvClockE5F4,
    kTvClockE5F6,
    kTvColourTestA,
    kTvColourTestB,
};

// No register is declared twice, and none is left out of kRegisters.
constexpr bool same_place(const Register &a, const Register &b) {
    return a.file == b.file && a.index == b.index && a.page == b.page;
}
constexpr bool all_distinct(const Register *first, const Register *last) {
    for (const Register *a = first; a != last; ++a)
        for (const Register *b = a + 1; b != last; ++b)
            if (same_place(*a, *b)) return false;
    return true;
}
static_assert(all_distinct(std::begin(kRegisters), std::end(kRegisters)), "a register is listed twice");
static_assert(std::size(kRegisters) == __COUNTER__ - kRegisterCountBefore - 1,
              "kRegisters must list every register declared with KOVA_REGISTER");
#undef KOVA_REGISTER

// ---------------------------------------------------------------------------
// Paging derived from the map.

// The indexed file of an overlay window's registers: GR for window 0, SR for
// window 1.
constexpr File overlay_file(unsigned window) {
    return window == 1 ? File::SR : File::GR;
}

// The indexed file a register of the map lives in: CAP is GR; OVL is GR for
// window 0 and SR for window 1.
constexpr bool lives_in(const Register &r, File indexed_file) {
    switch (r.file) {
    case File::CAP:
        return indexed_file == File::GR;
    case File::OVL:
        return indexed_file == File::GR || indexed_file == File::SR;
    default:
        return r.file == indexed_file;
    }
}

// The pager of index `index` of the indexed file GR, SR or CR: the pager of
// the map's entries that cover it, None where the map has none.
constexpr Pager pager_of(File indexed_file, std::uint8_t index) {
    for (const Register &r : kRegisters)
        if (lives_in(r, indexed_file) && index >= r.index && index < r.index + r.span) return r.pager;
    return Pager::None;
}

constexpr std::array<Pager, 256> pagers_of(File indexed_file) {
    std::array<Pager, 256> pagers{};
    for (unsigned i = 0; i < 256; ++i)
        pagers[i] = pager_of(indexed_file, static_cast<std::uint8_t>(i));
    return pagers;
}

} // namespace kova::reg
