// overlay: selection, register access, initialisation, geometry and format of
// the two video overlay windows.
#include "overlay.h"

#include "decode.h"
#include "misc.h"
#include "portmem.h"

#include <array>
#include <cstdint>
#include "register_access.h"
#include "vga_ports.h"

unsigned short wOverlayIndex = 0;
unsigned short wMaxOverlayNum = 2;
unsigned short wBytePerPixel[2] = {0, 0};

unsigned char bInitialized = 0;
unsigned char savedReg74 = 0;
unsigned char savedReg75 = 0;
unsigned char savedRegD9[2] = {0, 0};
unsigned char savedRegDA[2] = {0, 0};
unsigned char savedRegDD[2] = {0, 0};

const unsigned char bFIFOPolicyNum[5] = {0x10, 0x10, 0x1C, 0x1C, 0x06};

namespace {

using namespace kova::vga;
using namespace kova::reg;

constexpr unsigned kWindowCount = 2;

// The BOB band: a vertical factor this close to 2048 shows a field at twice its height.
constexpr std::uint32_t kBandLow = 2027;
constexpr std::uint32_t kBandHigh = 2069;

using kova::decode::kAddressUnit;
using kova::decode::kOverlayFormatBytes;
using kova::decode::kOverlayPitchUnit;
constexpr std::uint32_t kUnity = kova::decode::kScaleOne;
// Programmed when the destination size is 0 but the source size is not.
constexpr std::uint32_t kNoRatioFactor = 0xFFFF;

// Per-window bits in shared registers.
struct WindowBits {
    FieldOf<decltype(kFieldMode)::Layout> bob;         // SR A7: BOB on
    FieldOf<decltype(kFieldMode)::Layout> bob_doubled; // SR A7: BOB with a near 2:1 enlargement
    FieldOf<decltype(kLineBuffer)::Layout> wide;       // SR A6: source wider than 360 pixels
};
constexpr std::array<WindowBits, kWindowCount> kWindowBits{{
    {field_mode::kBob0, field_mode::kDouble0, line_buffer::kWide0},
    {field_mode::kBob1, field_mode::kDouble1, line_buffer::kWide1},
}};

struct RegValue {
    std::uint8_t index;
    std::uint8_t value;
};

// The initial register set of a window, written in this order.
// clang-format off
constexpr std::array<RegValue, 23> kInitialRegisters{{
    {kOvlControl.at(), 0x00},                          // off, all control bits clear
    {kOvlTop.at(0), 0x00}, {kOvlTop.at(1), 0x00},      // top 0
    {kOvlVFactor.at(0), 0x00}, {kOvlVFactor.at(1), 0x10}, // vertical factor 1:1
    {kOvlStart.at(0), 0x00}, {kOvlStart.at(1), 0x0F}, {kOvlStart.at(2), 0x03}, // start 0x030F00 (4-byte units)
    {kOvlLeft.at(0), 0x20}, {kOvlLeft.at(1), 0x00},    // left 32
    {kOvlRight.at(0), 0x60}, {kOvlRight.at(1), 0x01},  // right 352
    {kOvlBottom.at(0), 0xE0}, {kOvlBottom.at(1), 0x00}, // bottom 224
    {kOvlKeyColour.at(0), 0x00}, {kOvlKeyColour.at(1), 0x00}, {kOvlKeyColour.at(2), 0x00}, // key colour 0
    {kOvlHFactor.at(0), 0x00}, {kOvlHFactor.at(1), 0x10}, // horizontal factor 1:1
    {kOvlFormat.at(), 0x00},                           // format 0
    {kOvlDisplay.at(), 0x00}, {kOvlDisplay.at(), 0x01},
    {kOvlControl.at(), set(ovl_control::kEnable, 1).value}, // enabled, still off
}};
// clang-format on

// The current window.  Only 1 means window 1; any other value in the selector
// (which callers can write directly) is treated as window 0, as selection does.
unsigned window() {
    return wOverlayIndex == 1 ? 1U : 0U;
}

std::uint16_t index_port() {
    return kova::reg::index_port(overlay_file(window()));
}
std::uint16_t data_port() {
    return kova::reg::data_port(overlay_file(window()));
}

constexpr std::uint8_t byte_of(std::uint32_t value, unsigned shift) {
    return static_cast<std::uint8_t>(value >> shift);
}

// Writes a multi-byte OVL register, low byte first.
void out_overlay_value(Address r, std::uint32_t value) {
    for (unsigned n = 0; n < r.span; ++n)
        Out_Overlay_Reg(r.at(n), byte_of(value, 8 * n));
}

// A masked write of an OVL register (the value is ORed in).
template <typename L>
void update_overlay(const RegisterOf<L> &r, Change<L> change) {
    Out_Overlay_Reg_M(r.at(), change.value, change.keep);
}

// Source size over destination size with 12 fraction bits; equal sizes give
// exactly 1:1 without a division.
std::uint32_t scale_factor(std::uint32_t source, std::uint32_t destination) {
    if (source == destination) {
        return kUnity;
    }
    if (destination == 0) {
        return kNoRatioFactor;
    }
    return source * kUnity / destination;
}

void set_field_bits(bool bob, bool doubled) {
    const WindowBits &own = kWindowBits[window()];
    update(kFieldMode, set_value(own.bob, bob ? 1 : 0) | set_value(own.bob_doubled, doubled ? 1 : 0));
}

void set_line_buffer_bit(bool on) {
    update(kLineBuffer, set_value(kWindowBits[window()].wide, on ? 1 : 0));
}

void set_wide_bit(bool on) {
    update_overlay(kOvlControl, set_value(ovl_control::kWide, on ? 1 : 0));
}

// The FIFO registers of both windows, each in its window's file.
void save_fifo_registers() {
    savedReg74 = read(kFifoThreshold1);
    savedReg75 = read(kFifoThreshold2);
    for (unsigned w = 0; w < kWindowCount; ++w) {
        const File file = overlay_file(w);
        savedRegD9[w] = read(in(file, kOvlFifo1));
        savedRegDA[w] = read(in(file, kOvlFifo2));
        savedRegDD[w] = read(in(file, kOvlFifoControl));
    }
}

void restore_fifo_registers() {
    WriteReg(kGrIndexPort, kFifoThreshold1.at(), savedReg74);
    WriteReg(kGrIndexPort, kFifoThreshold2.at(), savedReg75);
    for (unsigned w = 0; w < kWindowCount; ++w) {
        const File file = overlay_file(w);
        WriteReg(index_port(file), kOvlFifo1.at(), savedRegD9[w]);
        WriteReg(index_port(file), kOvlFifo2.at(), savedRegDA[w]);
        WriteReg(index_port(file), kOvlFifoControl.at(), savedRegDD[w]);
    }
}

} // namespace

extern "C" {

void Out_Overlay_Reg(unsigned char index, unsigned char value) {
    kovaoutp(index_port(), index);
    kovaoutp(data_port(), value);
}

void Out_Overlay_Reg_M(unsigned char index, unsigned char value, unsigned char keep) {
    kovaoutp(index_port(), index);
    const unsigned char old = kovainp(data_port());
    kovaoutp(data_port(), merge_or(value, old, keep));
}

void Kova_SelectOverlayIndex(unsigned short index) {
    // The array bound guards against a caller that raised wMaxOverlayNum.
    if (index < wMaxOverlayNum && index < kWindowCount) {
        wOverlayIndex = index;
    } else {
        wOverlayIndex = 0;
    }
    wBytePerPixel[wOverlayIndex] = 2;
}

unsigned int Kova_GetOverlayIndex(void) {
    return wOverlayIndex;
}

void Kova_InitOverlay(void) {
    for (const RegValue &reg : kInitialRegisters) {
        Out_Overlay_Reg(reg.index, reg.value);
    }
    update(kLineBuffer, set(line_buffer::kBit5, 1) | set(line_buffer::kClock, 0));
    if (bInitialized != 0) {
        return;
    }
    bInitialized = 1;
    save_fifo_registers();
}

void Kova_OverlayOn(void) {
    update_overlay(kOvlControl, set(ovl_control::kOn, 1) | set(ovl_control::kEnable, 1));
}

void Kova_OverlayOff(void) {
    update_overlay(kOvlControl, set(ovl_control::kOn, 0));
}

void Kova_OverlayCleanUp(void) {
    // Window 0's field bits, whichever window is current.
    update(kFieldMode, set(field_mode::kBob0, 0) | set(field_mode::kDouble0, 0));
    if (bInitialized == 0) {
        return;
    }
    bInitialized = 0;
    restore_fifo_registers();
}

void Kova_SetOverlayFormat(unsigned char code) {
    if (code >= kOverlayFormatBytes.size()) {
        return;
    }
    update_overlay(kOvlFormat, set_value(kOvlFormat.field(), code));
    wBytePerPixel[window()] = kOverlayFormatBytes[code];
}

void Kova_SetOverlayMode(unsigned char mode) {
    update_overlay(kOvlControl, set_value(ovl_control::kMode, mode != 0 ? 1 : 0));
}

void Kova_SetRGBKeyColor(unsigned int key) {
    out_overlay_value(kOvlKeyColour, key);
}

void Kova_SetOverlayWindow(unsigned short left, unsigned short top, unsigned short right,
                           unsigned short bottom) {
    out_overlay_value(kOvlLeft, left);
    out_overlay_value(kOvlRight, right);
    out_overlay_value(kOvlTop, top);
    out_overlay_value(kOvlBottom, bottom);
}

void Kova_SetOverlayScale(unsigned char mode, unsigned short srcWidth, unsigned short dstWidth,
                          unsigned short srcHeight, unsigned short dstHeight) {
    out_overlay_value(kOvlHStep, 0x0800);
    out_overlay_value(kOvlHFactor, scale_factor(srcWidth, dstWidth));
    out_overlay_value(kOvlVStep, 0x0800);

    std::uint32_t vertical = 0;
    if (mode == 0) { // WEAVE
        vertical = scale_factor(srcHeight, dstHeight);
        set_field_bits(false, false);
    } else { // BOB: one field, half the source height
        vertical = scale_factor(srcHeight / 2U, dstHeight);
        const bool doubled = vertical >= kBandLow && vertical <= kBandHigh;
        set_field_bits(true, doubled);
    }
    out_overlay_value(kOvlVFactor, vertical);
}

void Kova_SetOverlaySrcAddr(unsigned int address, unsigned short x, unsigned short y, unsigned short width,
                            unsigned short pitch) {
    const std::uint32_t bytes = wBytePerPixel[window()];
    const auto pitch_bytes = static_cast<std::uint16_t>(bytes * pitch);
    // Unsigned 32-bit arithmetic throughout: the sum wraps rather than overflows.
    // The start, pitch and fetch registers hold the low 24 and 12 bits of
    // their values: larger values wrap, as they always have.
    const std::uint32_t start =
        (pitch_bytes * std::uint32_t{y} + std::uint32_t{x} * bytes + address) / kAddressUnit;
    out_overlay_value(kOvlStart, kOvlSource.split(kOvlSource.wrap(start))[0]);

    const auto pitch_parts = kOvlPitchUnits.split(kOvlPitchUnits.wrap(pitch_bytes / kOverlayPitchUnit));
    const auto fetch_parts = kOvlFetchUnits.split(
        kOvlFetchUnits.wrap((std::uint32_t{width} * bytes + kOverlayPitchUnit - 1) / kOverlayPitchUnit));
    Out_Overlay_Reg(kOvlPitch.at(), static_cast<std::uint8_t>(pitch_parts[0]));
    Out_Overlay_Reg(kOvlPitchHigh.at(), (set_value(ovl_pitch_high::kPitch, pitch_parts[1]) |
                                         set_value(ovl_pitch_high::kFetch, fetch_parts[1]))
                                            .value);
    Out_Overlay_Reg(kOvlFetch.at(), static_cast<std::uint8_t>(fetch_parts[0]));

    if (width > 720) {
        set_wide_bit(true);
        set_line_buffer_bit(true);
    } else if (width > 360) {
        set_line_buffer_bit(true);
        set_wide_bit(false);
    } else {
        set_line_buffer_bit(false);
        set_wide_bit(false);
    }
}

void Kova_ChangeOverlayFIFO(void) {
    using namespace ovl_fifo_control;
    write(kFifoThreshold1, bFIFOPolicyNum[0]);
    write(kFifoThreshold2, bFIFOPolicyNum[1]);
    Out_Overlay_Reg(kOvlFifo1.at(), bFIFOPolicyNum[2]);
    Out_Overlay_Reg(kOvlFifo2.at(), bFIFOPolicyNum[3]);
    if (window() == 0) {
        update(kFifoWindow0, set(kFifoWindow0.field(), 1));
    } else {
        const auto change = set(kBit4, 1) | set(kBit1, 1); // window 1's SR DD
        Out_SEQ_Reg_M(kOvlFifoControl.at(), change.value, change.keep);
    }
    update(kFifoCommon, set(kFifoCommon.field(), 1));
    const std::uint8_t policy = bFIFOPolicyNum[4];
    update_overlay(kOvlFifoControl, set_value(kPolicy0, kPolicy0.extract(policy)) |
                                        set_value(kPolicy2, kPolicy2.extract(policy)));
    update_overlay(kOvlFifoControl, set(kBit1, 1));
}

// Page 0x00, then SR DE read and written back, each with its own index write.
void Kova_WhichOverlayOnTop(unsigned char which) {
    kovaoutp(kGrIndexPort, kPageSelect.at());
    kovaoutp(kGrDataPort, page::kCommon);
    if (which > 1) {
        return;
    }
    const std::uint8_t old = ReadReg(kSrIndexPort, kOvlDisplay.at());
    const auto on_top = set_value(ovl_display::kWindow1OnTop, which);
    Out_SEQ_Reg(kOvlDisplay.at(), static_cast<std::uint8_t>((old & on_top.keep) | on_top.value));
}

} // extern "C"
