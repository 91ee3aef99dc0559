// overlay: selection, register access, initialisation, geometry and format of
// the two video overlay windows.
#include "overlay.h"

#include "misc.h"
#include "portmem.h"

#include <array>
#include <cstdint>
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

constexpr unsigned kWindowCount = 2;

// Overlay register file (the same indexes in GR for window 0 and SR for window 1).
constexpr std::uint8_t kOvlStart0 = 0xC0; // C0-C2: start address in 4-byte units
constexpr std::uint8_t kOvlStart1 = 0xC1;
constexpr std::uint8_t kOvlStart2 = 0xC2;
constexpr std::uint8_t kOvlPitch = 0xC3;      // pitch in 8-byte units, bits 0-7
constexpr std::uint8_t kOvlPitchHigh = 0xC4;  // pitch bits 8-11 | fetch bits 8-11 << 4
constexpr std::uint8_t kOvlLeftLow = 0xC5;    // C5-CC: left, right, top, bottom edges
constexpr std::uint8_t kOvlFetch = 0xCD;      // fetch count in 8-byte units, bits 0-7
constexpr std::uint8_t kOvlKeyColour = 0xCE;  // CE-D0: key colour bytes 0, 1, 2
constexpr std::uint8_t kOvlHStepLow = 0xD1;   // D1/D2: written 0x0800 with the horizontal factor
constexpr std::uint8_t kOvlHFactorLow = 0xD3; // D3/D4
constexpr std::uint8_t kOvlVStepLow = 0xD5;   // D5/D6: written 0x0800 with the vertical factor
constexpr std::uint8_t kOvlVFactorLow = 0xD7; // D7/D8
constexpr std::uint8_t kOvlFifo1 = 0xD9;
constexpr std::uint8_t kOvlFifo2 = 0xDA;
constexpr std::uint8_t kOvlFormat = 0xDB;
constexpr std::uint8_t kOvlControl = 0xDC;
constexpr std::uint8_t kOvlFifoControl = 0xDD;

// OVL DC bits.
constexpr std::uint8_t kControlOn = 0x80;
constexpr std::uint8_t kControlWide = 0x20; // source wider than 720 pixels
constexpr std::uint8_t kControlEnable = 0x04;
constexpr std::uint8_t kControlMode = 0x02;

// Shared registers.
constexpr std::uint8_t kGrFifoThreshold1 = 0x74;
constexpr std::uint8_t kGrFifoThreshold2 = 0x75;
constexpr std::uint8_t kGrFifoWindow0 = 0xA6; // bit 3: window 0 FIFO control
constexpr std::uint8_t kGrFifoCommon = 0xF1;  // bits 7-6 become 0-1
constexpr std::uint8_t kGrBankSelect = 0xFA;
constexpr std::uint8_t kSrLineBuffer = 0xA6; // bits 5-4: initialisation; bit 6/7: window 0/1 above 360 pixels
constexpr std::uint8_t kSrFieldMode = 0xA7;  // window 0: bits 2, 0; window 1: bits 3, 1
constexpr std::uint8_t kSrOnTop = 0xDE;      // bit 0: window 1 on top

// The BOB band: a vertical factor this close to 2048 shows a field at twice its height.
constexpr std::uint32_t kBandLow = 2027;
constexpr std::uint32_t kBandHigh = 2069;

constexpr std::uint32_t kUnity = 0x1000;
// Programmed when the destination size is 0 but the source size is not.
constexpr std::uint32_t kNoRatioFactor = 0xFFFF;

// Per-window bits in shared registers.
struct WindowBits {
    std::uint8_t field_upper; // SR A7: BOB on
    std::uint8_t field_lower; // SR A7: BOB with a near 2:1 enlargement
    std::uint8_t line_buffer; // SR A6: source wider than 360 pixels
};
constexpr std::array<WindowBits, kWindowCount> kWindowBits{{{0x04, 0x01, 0x40}, {0x08, 0x02, 0x80}}};

constexpr std::array<std::uint8_t, 8> kFormatBytesPerPixel{2, 2, 2, 3, 4, 1, 2, 1};

struct RegValue {
    std::uint8_t index;
    std::uint8_t value;
};

// The initial register set of a window, written in this order.
// clang-format off
constexpr std::array<RegValue, 23> kInitialRegisters{{
    {0xDC, 0x00},               // off, all control bits clear
    {0xC9, 0x00}, {0xCA, 0x00}, // top 0
    {0xD7, 0x00}, {0xD8, 0x10}, // vertical factor 1:1
    {0xC0, 0x00}, {0xC1, 0x0F}, {0xC2, 0x03}, // start address 0x030F00 (4-byte units)
    {0xC5, 0x20}, {0xC6, 0x00}, // left 32
    {0xC7, 0x60}, {0xC8, 0x01}, // right 352
    {0xCB, 0xE0}, {0xCC, 0x00}, // bottom 224
    {0xCE, 0x00}, {0xCF, 0x00}, {0xD0, 0x00}, // key colour 0
    {0xD3, 0x00}, {0xD4, 0x10}, // horizontal factor 1:1
    {0xDB, 0x00},               // format 0
    {0xDE, 0x00}, {0xDE, 0x01},
    {0xDC, 0x04},               // bit 2 set, still off
}};
// clang-format on

// The current window.  Only 1 means window 1; any other value in the selector
// (which callers can write directly) is treated as window 0, as selection does.
unsigned window() {
    return wOverlayIndex == 1 ? 1U : 0U;
}

std::uint16_t index_port() {
    return window() == 1 ? kSrIndexPort : kGrIndexPort;
}
std::uint16_t data_port() {
    return window() == 1 ? kSrDataPort : kGrDataPort;
}

constexpr std::uint8_t byte_of(std::uint32_t value, unsigned shift) {
    return static_cast<std::uint8_t>(value >> shift);
}

void out_overlay_word(std::uint8_t low_index, std::uint32_t value) {
    Out_Overlay_Reg(low_index, byte_of(value, 0));
    Out_Overlay_Reg(static_cast<std::uint8_t>(low_index + 1), byte_of(value, 8));
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

void set_field_bits(std::uint8_t bits) {
    const WindowBits &own = kWindowBits[window()];
    const auto keep = static_cast<std::uint8_t>(~(own.field_upper | own.field_lower));
    Out_SEQ_Reg_M(kSrFieldMode, bits, keep);
}

void set_line_buffer_bit(bool on) {
    const std::uint8_t bit = kWindowBits[window()].line_buffer;
    Out_SEQ_Reg_M(kSrLineBuffer, on ? bit : 0, static_cast<std::uint8_t>(~bit));
}

void set_wide_bit(bool on) {
    Out_Overlay_Reg_M(kOvlControl, on ? kControlWide : 0, static_cast<std::uint8_t>(~kControlWide));
}

void save_fifo_registers() {
    savedReg74 = ReadReg(kGrIndexPort, kGrFifoThreshold1);
    savedReg75 = ReadReg(kGrIndexPort, kGrFifoThreshold2);
    savedRegD9[0] = ReadReg(kGrIndexPort, kOvlFifo1);
    savedRegDA[0] = ReadReg(kGrIndexPort, kOvlFifo2);
    savedRegDD[0] = ReadReg(kGrIndexPort, kOvlFifoControl);
    savedRegD9[1] = ReadReg(kSrIndexPort, kOvlFifo1);
    savedRegDA[1] = ReadReg(kSrIndexPort, kOvlFifo2);
    savedRegDD[1] = ReadReg(kSrIndexPort, kOvlFifoControl);
}

void restore_fifo_registers() {
    WriteReg(kGrIndexPort, kGrFifoThreshold1, savedReg74);
    WriteReg(kGrIndexPort, kGrFifoThreshold2, savedReg75);
    WriteReg(kGrIndexPort, kOvlFifo1, savedRegD9[0]);
    WriteReg(kGrIndexPort, kOvlFifo2, savedRegDA[0]);
    WriteReg(kGrIndexPort, kOvlFifoControl, savedRegDD[0]);
    WriteReg(kSrIndexPort, kOvlFifo1, savedRegD9[1]);
    WriteReg(kSrIndexPort, kOvlFifo2, savedRegDA[1]);
    WriteReg(kSrIndexPort, kOvlFifoControl, savedRegDD[1]);
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
    kovaoutp(data_port(), static_cast<unsigned char>(value | (old & keep)));
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
    Out_SEQ_Reg_M(kSrLineBuffer, 0x20, 0xCF);
    if (bInitialized != 0) {
        return;
    }
    bInitialized = 1;
    save_fifo_registers();
}

void Kova_OverlayOn(void) {
    constexpr auto bits = static_cast<std::uint8_t>(kControlOn | kControlEnable);
    Out_Overlay_Reg_M(kOvlControl, bits, static_cast<std::uint8_t>(~bits));
}

void Kova_OverlayOff(void) {
    Out_Overlay_Reg_M(kOvlControl, 0x00, static_cast<std::uint8_t>(~kControlOn));
}

void Kova_OverlayCleanUp(void) {
    // Window 0's field bits, whichever window is current.
    Out_SEQ_Reg_M(kSrFieldMode, 0x00, 0xFA);
    if (bInitialized == 0) {
        return;
    }
    bInitialized = 0;
    restore_fifo_registers();
}

void Kova_SetOverlayFormat(unsigned char code) {
    if (code >= kFormatBytesPerPixel.size()) {
        return;
    }
    Out_Overlay_Reg_M(kOvlFormat, code, 0xF8);
    wBytePerPixel[window()] = kFormatBytesPerPixel[code];
}

void Kova_SetOverlayMode(unsigned char mode) {
    Out_Overlay_Reg_M(kOvlControl, mode != 0 ? kControlMode : 0, static_cast<std::uint8_t>(~kControlMode));
}

void Kova_SetRGBKeyColor(unsigned int key) {
    Out_Overlay_Reg(kOvlKeyColour, byte_of(key, 0));
    Out_Overlay_Reg(kOvlKeyColour + 1, byte_of(key, 8));
    Out_Overlay_Reg(kOvlKeyColour + 2, byte_of(key, 16));
}

void Kova_SetOverlayWindow(unsigned short left, unsigned short top, unsigned short right,
                           unsigned short bottom) {
    out_overlay_word(kOvlLeftLow, left);       // C5, C6
    out_overlay_word(kOvlLeftLow + 2, right);  // C7, C8
    out_overlay_word(kOvlLeftLow + 4, top);    // C9, CA
    out_overlay_word(kOvlLeftLow + 6, bottom); // CB, CC
}

void Kova_SetOverlayScale(unsigned char mode, unsigned short srcWidth, unsigned short dstWidth,
                          unsigned short srcHeight, unsigned short dstHeight) {
    out_overlay_word(kOvlHStepLow, 0x0800);
    out_overlay_word(kOvlHFactorLow, scale_factor(srcWidth, dstWidth));
    out_overlay_word(kOvlVStepLow, 0x0800);

    const WindowBits &own = kWindowBits[window()];
    std::uint32_t vertical = 0;
    if (mode == 0) { // WEAVE
        vertical = scale_factor(srcHeight, dstHeight);
        set_field_bits(0x00);
    } else { // BOB: one field, half the source height
        vertical = scale_factor(srcHeight / 2U, dstHeight);
        const bool doubled = vertical >= kBandLow && vertical <= kBandHigh;
        set_field_bits(doubled ? static_cast<std::uint8_t>(own.field_upper | own.field_lower)
                               : own.field_upper);
    }
    out_overlay_word(kOvlVFactorLow, vertical);
}

void Kova_SetOverlaySrcAddr(unsigned int address, unsigned short x, unsigned short y, unsigned short width,
                            unsigned short pitch) {
    const std::uint32_t bytes = wBytePerPixel[window()];
    const auto pitch_bytes = static_cast<std::uint16_t>(bytes * pitch);
    // Unsigned 32-bit arithmetic throughout: the sum wraps rather than overflows.
    const std::uint32_t start = (std::uint32_t{y} * pitch_bytes + std::uint32_t{x} * bytes + address) / 4U;
    Out_Overlay_Reg(kOvlStart0, byte_of(start, 0));
    Out_Overlay_Reg(kOvlStart1, byte_of(start, 8));
    Out_Overlay_Reg(kOvlStart2, byte_of(start, 16));

    const std::uint32_t pitch_units = pitch_bytes / 8U;
    const std::uint32_t fetch = (std::uint32_t{width} * bytes + 7U) / 8U;
    Out_Overlay_Reg(kOvlPitch, byte_of(pitch_units, 0));
    Out_Overlay_Reg(kOvlPitchHigh,
                    static_cast<std::uint8_t>(((pitch_units >> 8) & 0x0FU) | (((fetch >> 8) & 0x0FU) << 4)));
    Out_Overlay_Reg(kOvlFetch, byte_of(fetch, 0));

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
    Out_Video_Reg(kGrFifoThreshold1, bFIFOPolicyNum[0]);
    Out_Video_Reg(kGrFifoThreshold2, bFIFOPolicyNum[1]);
    Out_Overlay_Reg(kOvlFifo1, bFIFOPolicyNum[2]);
    Out_Overlay_Reg(kOvlFifo2, bFIFOPolicyNum[3]);
    if (window() == 0) {
        Out_Video_Reg_M(kGrFifoWindow0, 0x08, 0xF7);
    } else {
        Out_SEQ_Reg_M(kOvlFifoControl, 0x12, 0xED);
    }
    Out_Video_Reg_M(kGrFifoCommon, 0x40, 0x3F);
    Out_Overlay_Reg_M(kOvlFifoControl, static_cast<std::uint8_t>(bFIFOPolicyNum[4] & 0x05), 0xFA);
    Out_Overlay_Reg_M(kOvlFifoControl, 0x02, 0xFD);
}

void Kova_WhichOverlayOnTop(unsigned char which) {
    kovaoutp(kGrIndexPort, kGrBankSelect);
    kovaoutp(kGrDataPort, 0x00);
    if (which > 1) {
        return;
    }
    kovaoutp(kSrIndexPort, kSrOnTop);
    const unsigned char old = kovainp(kSrDataPort);
    const unsigned char top =
        which == 1 ? static_cast<unsigned char>(old | 0x01) : static_cast<unsigned char>(old & 0xFE);
    kovaoutp(kSrDataPort, top);
}

} // extern "C"
