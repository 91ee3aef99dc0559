// capture: the two video capture engines, double buffering and field polarity.
#include "capture.h"

#include "misc.h"
#include "portmem.h"

#include <cstdint>
#include <cstdio>
#include "vga_ports.h"

unsigned short wCaptureIndex = 0;
unsigned short wMaxCaptureNum = 2;

namespace {

using namespace kova::vga;

// Bank select of the extended GR registers and the banks used here.
constexpr std::uint8_t kGrBank = 0xFA;
constexpr std::uint8_t kBankCommon = 0x00; // engine 0 and the common registers
constexpr std::uint8_t kBankEngine1 = 0x80;
constexpr std::uint8_t kBankBackBufferCopy = 0x01;
// 16-bit stores on the GR index port: GR FA = 0x03 (sync status) and 0x00.
constexpr std::uint16_t kSelectSyncStatusBank = 0x03FA;
constexpr std::uint16_t kSelectCommonBank = 0x00FA;

// Sync status, GR 43 in bank 0x03: bit 7 is set during the vertical sync.
constexpr std::uint8_t kGrSyncStatus = 0x43;
constexpr std::uint8_t kSyncActive = 0x80;
// Each phase of WaitVSync gives up after this many reads that miss, and warns
// once when at least kSyncWarnFrom of its reads missed.
constexpr std::uint32_t kSyncReadLimit = 100001;
constexpr std::uint32_t kSyncWarnFrom = 99999;

// Capture control, GR E8 in bank 0x00.
constexpr std::uint8_t kGrCaptureControl = 0xE8;
constexpr std::uint8_t kCaptureHold = 0x04;      // bit 2: held while the address changes
constexpr std::uint8_t kCaptureStop = 0x08;      // bit 3: stop request
constexpr std::uint8_t kCaptureEnables = 0x61;   // bits 6, 5 and 0
constexpr std::uint8_t kCaptureSetUpBits = 0x6D; // bits 6, 5, 3, 2 and 0

// Capture status, GR E5 in bank 0x00: bit 1 is set once the engine has stopped.
constexpr std::uint8_t kGrCaptureStatus = 0xE5;
constexpr std::uint8_t kCaptureStopped = 0x02;
constexpr std::uint32_t kStopReadLimit = 100000;

// Field polarity, GR E9 bit 5 (bank 0x00).
constexpr std::uint8_t kGrFieldControl = 0xE9;
constexpr std::uint8_t kFieldInverted = 0x20;

// Safeguard enable, SR A2 bit 2; bus-width bit, GR 72 bit 2.
constexpr std::uint8_t kSrSafeguard = 0xA2;
constexpr std::uint8_t kSafeguardOn = 0x04;
constexpr std::uint8_t kGrMemoryConfig = 0x72;
constexpr std::uint8_t kWideBus = 0x04;

// Video-port set-up, GR B5 bits 7, 1 and 0.
constexpr std::uint8_t kGrVideoPort = 0xB5;
constexpr std::uint8_t kVideoPortBits = 0x83;

// Capture register file (CAP xx).
constexpr std::uint8_t kCapWindowStart = 0x60; // 60..67: window x start/end, y start/end
constexpr std::uint8_t kCapHScale = 0x6A;
constexpr std::uint8_t kCapVScale = 0x6E;
constexpr std::uint8_t kCapFieldScale = 0xEA;
constexpr std::uint8_t kFieldScaling = 0x02;
constexpr std::uint8_t kCapAddress = 0xEB; // EB, EC, ED: start address in 4-byte units
constexpr std::uint8_t kCapPitch = 0xEE;

// Scale factors are 4.12 fixed point.
constexpr std::uint32_t kScaleOne = 0x1000;

constexpr std::uint8_t byte0(std::uint32_t v) {
    return static_cast<std::uint8_t>(v);
}
constexpr std::uint8_t byte1(std::uint32_t v) {
    return static_cast<std::uint8_t>(v >> 8);
}
constexpr std::uint8_t byte2(std::uint32_t v) {
    return static_cast<std::uint8_t>(v >> 16);
}

std::uint8_t engine_bank() {
    return wCaptureIndex == 0 ? kBankCommon : kBankEngine1;
}

// Opens the current engine's bank and returns the bank found.
std::uint8_t enter_engine_bank() {
    kovaoutp(kGrIndexPort, kGrBank);
    const std::uint8_t saved = kovainp(kGrDataPort);
    kovaoutp(kGrDataPort, engine_bank());
    return saved;
}

void leave_engine_bank(std::uint8_t saved) {
    kovaoutp(kGrIndexPort, kGrBank);
    kovaoutp(kGrDataPort, saved);
}

void select_common_bank() {
    WriteReg(kGrIndexPort, kGrBank, kBankCommon);
}

// Writes a 16-bit value into two consecutive CAP registers, low byte first.
void out_capture_word(std::uint8_t index, std::uint32_t value) {
    Out_Capture_Reg(index, byte0(value));
    Out_Capture_Reg(static_cast<std::uint8_t>(index + 1), byte1(value));
}

// Reads the selected sync-status register until bit 7 equals want_active,
// giving up after kSyncReadLimit misses.
void wait_sync_phase(bool want_active) {
    std::uint32_t misses = 0;
    while (((kovainp(kGrDataPort) & kSyncActive) != 0) != want_active)
        if (++misses == kSyncReadLimit) break;
    if (misses >= kSyncWarnFrom) std::printf("Warning: Dead Loop while capture on\n");
}

// Destination size over source size in 4.12 fixed point.  Equal sizes, and a
// source of 0 that leaves nothing to scale from, give 1:1.
std::uint32_t scale_factor(std::uint16_t source, std::uint16_t destination) {
    if (source == destination || source == 0) return kScaleOne;
    return static_cast<std::uint32_t>(destination) * kScaleOne / source;
}

// Step 1 of the initialisation: video-port bits of GR BA and GR BB in bank
// GR BF = 0x01.
void init_video_port_banked() {
    constexpr std::uint8_t kGrBankB = 0xBF;
    Out_Video_Reg(kGrBankB, 0x01);
    Out_Video_Reg_M(0xBA, 0x80, 0x7F); // bit 7 set
    Out_Video_Reg_M(0xBA, 0x00, 0xFD); // bit 1 cleared
    Out_Video_Reg_M(0xBB, 0x02, 0xFD); // bit 1 set
    Out_Video_Reg_M(0xBB, 0x04, 0xFB); // bit 2 set
    Out_Video_Reg(kGrBankB, 0x00);
}

} // namespace

extern "C" {

// ---------------------------------------------------------------- register access

void Out_Capture_Reg(unsigned char index, unsigned char value) {
    const std::uint8_t saved = enter_engine_bank();
    kovaoutp(kGrIndexPort, index);
    kovaoutp(kGrDataPort, value);
    leave_engine_bank(saved);
}

void Out_Capture_Reg_M(unsigned char index, unsigned char value, unsigned char keep) {
    const std::uint8_t saved = enter_engine_bank();
    kovaoutp(kGrIndexPort, index);
    const std::uint8_t old = kovainp(kGrDataPort);
    kovaoutp(kGrDataPort, static_cast<std::uint8_t>(value | (old & keep)));
    leave_engine_bank(saved);
}

unsigned int In_Capture_Reg(unsigned char index) {
    const std::uint8_t saved = enter_engine_bank();
    kovaoutp(kGrIndexPort, index);
    const std::uint8_t value = kovainp(kGrDataPort);
    leave_engine_bank(saved);
    return value;
}

void Kova_SelectCaptureIndex(unsigned short index) {
    wCaptureIndex = index < wMaxCaptureNum ? index : 0;
}

unsigned int Kova_GetCaptureIndex(void) {
    return wCaptureIndex;
}

void WaitVSync(void) {
    kovaoutpw(kGrIndexPort, kSelectSyncStatusBank);
    kovaoutp(kGrIndexPort, kGrSyncStatus);
    wait_sync_phase(true);  // the sync begins
    wait_sync_phase(false); // the sync ends
    kovaoutpw(kGrIndexPort, kSelectCommonBank);
}

void sleep_VSync(unsigned short count) {
    for (unsigned short i = 0; i < count; ++i)
        WaitVSync();
}

// ---------------------------------------------------------------- set-up and control

void Kova_InitCapture(unsigned short mode) {
    init_video_port_banked();
    select_common_bank();
    Out_SEQ_Reg_M(kSrSafeguard, 0x00, 0xFB); // no safeguard yet
    Out_Video_Reg_M(kGrVideoPort, kVideoPortBits, 0x7C);
    Out_Video_Reg(kGrFieldControl, 0x10);

    constexpr std::uint8_t kSrPortMode = 0xA4;
    constexpr std::uint8_t kSrPortModeBits = 0x11; // bits 4 and 0
    if (mode != 0) {
        kovaoutpw(kGrIndexPort, 0x13A4); // GR A4 = 0x13
        kovaoutpw(kGrIndexPort, 0x12A5); // GR A5 = 0x12
        WriteReg(kSrIndexPort, kSrPortMode,
                 static_cast<std::uint8_t>(ReadReg(kSrIndexPort, kSrPortMode) & ~kSrPortModeBits));
        Out_Video_Reg_M(kGrFieldControl, 0x00, 0xDF); // normal field polarity
        Out_Video_Reg_M(0xA5, 0x00, 0xFE);            // GR A5 bit 0 cleared
    } else {
        kovaoutpw(kGrIndexPort, 0x10A4); // GR A4 = 0x10
        kovaoutpw(kGrIndexPort, 0x10A5); // GR A5 = 0x10
        WriteReg(kSrIndexPort, kSrPortMode,
                 static_cast<std::uint8_t>(ReadReg(kSrIndexPort, kSrPortMode) | kSrPortModeBits));
        Out_Video_Reg_M(kGrFieldControl, kFieldInverted, 0xDF); // inverted field polarity
    }

    // Engine enables and the hold (bits 3 and 2) set; bits 7, 4 and 1 kept.
    Out_Video_Reg_M(kGrCaptureControl, kCaptureSetUpBits, 0x92);

    // Route the video port to the engine: SR EF bit 1, SR A0 bit 7, SR ED bit 4.
    if (wCaptureIndex == 0) {
        Out_SEQ_Reg_M(0xEF, 0x00, 0xFD);
        Out_SEQ_Reg_M(0xA0, 0x00, 0x7F);
        Out_SEQ_Reg_M(0xED, 0x00, 0xEF);
    } else {
        Out_SEQ_Reg_M(0xEF, 0x02, 0xFD);
        Out_SEQ_Reg_M(0xA0, 0x80, 0x7F);
        Out_SEQ_Reg_M(0xED, 0x10, 0xEF);
        Out_Video_Reg_M(0xEA, 0x00, 0x22); // GR EA of bank 0x00: only bits 5 and 1 kept
    }

    out_capture_word(0x68, 0x0800);
    out_capture_word(0x6C, 0x0800);

    Out_Video_Reg(kGrBank, kBankCommon);
    Out_Video_Reg(0x88, 0x3F);
    Out_Video_Reg(0x89, 0xC0);
    Out_Video_Reg_M(0xA4, 0x01, 0xFE); // GR A4 bit 0 set
    Out_SEQ_Reg_M(0xA3, 0xC0, 0x3F);
    Out_SEQ_Reg_M(0xA5, 0xC0, 0x3F);
}

void Kova_SetCapSrcWindow(unsigned short x1, unsigned short x2, unsigned short y1, unsigned short y2) {
    // The engine counts horizontal positions in bytes of the 2-byte pixels.
    const std::uint32_t start = 2u * x1 + 1;
    const std::uint32_t end = 2u * x2 + 2;
    out_capture_word(kCapWindowStart, start);
    out_capture_word(kCapWindowStart + 2, end);
    out_capture_word(kCapWindowStart + 4, y1);
    out_capture_word(kCapWindowStart + 6, y2);
}

void Kova_SetCapDstAddr(unsigned int address, unsigned short x, unsigned short y, unsigned short pitch) {
    Out_Video_Reg(kGrBank, kBankCommon);
    const std::uint8_t saved = ReadReg(kGrIndexPort, kGrCaptureControl);
    Out_Video_Reg_M(kGrCaptureControl, kCaptureHold, static_cast<std::uint8_t>(~kCaptureHold));

    const std::uint32_t pixel = static_cast<std::uint32_t>(x) + static_cast<std::uint32_t>(y) * pitch;
    const std::uint32_t start = (address + 2u * pixel) / 4;
    Out_Capture_Reg(kCapAddress, byte0(start));
    Out_Capture_Reg(kCapAddress + 1, byte1(start));
    Out_Capture_Reg(kCapAddress + 2, static_cast<std::uint8_t>(byte2(start) & 0x0F));
    Out_Capture_Reg(kCapPitch, byte0(pitch / 4u));

    Out_Video_Reg_M(kGrCaptureControl, saved, static_cast<std::uint8_t>(~kCaptureHold));
}

void Kova_SetCaptureScale(unsigned short srcW, unsigned short dstW, unsigned short srcH, unsigned short dstH,
                          unsigned char field) {
    constexpr std::uint8_t kGrFieldScaleControl = 0xEF;
    constexpr std::uint8_t kFrameScaling = 0x04; // GR EF bit 2
    if (field != 0) {
        Out_Capture_Reg_M(kCapFieldScale, kFieldScaling, static_cast<std::uint8_t>(~kFieldScaling));
        Out_Video_Reg_M(kGrFieldScaleControl, 0x00, static_cast<std::uint8_t>(~kFrameScaling));
        dstH = static_cast<unsigned short>(dstH / 2); // each field fills half the height
    } else {
        Out_Capture_Reg_M(kCapFieldScale, 0x00, static_cast<std::uint8_t>(~kFieldScaling));
        Out_Video_Reg_M(kGrFieldScaleControl, kFrameScaling, static_cast<std::uint8_t>(~kFrameScaling));
    }
    out_capture_word(kCapHScale, scale_factor(srcW, dstW));
    out_capture_word(kCapVScale, scale_factor(srcH, dstH));
}

void Kova_CaptureOn(void) {
    constexpr std::uint8_t kGrOverlay0Control = 0xDE;
    Out_Video_Reg(kGrOverlay0Control, 0x01);
    Out_Video_Reg(kGrBank, kBankCommon);
    Out_Video_Reg_M(kGrCaptureControl, kCaptureEnables, 0x9E);
    sleep_VSync(2);
    Out_Video_Reg(kGrBank, kBankCommon);
    Out_Video_Reg_M(kGrCaptureControl, 0x00, static_cast<std::uint8_t>(~(kCaptureStop | kCaptureHold)));
}

void Kova_CaptureOff(void) {
    Out_Video_Reg(kGrBank, kBankCommon);
    Out_Video_Reg_M(kGrCaptureControl, kCaptureStop, static_cast<std::uint8_t>(~kCaptureStop));
    kovaoutp(kGrIndexPort, kGrCaptureStatus);
    for (std::uint32_t reads = 0; reads < kStopReadLimit; ++reads)
        if ((kovainp(kGrDataPort) & kCaptureStopped) != 0) return;
    std::printf("Warning: Dead loop while capture off\n");
}

void Kova_SetCapSafeGuardAddr(unsigned int address) {
    select_common_bank();
    Out_SEQ_Reg_M(kSrSafeguard, kSafeguardOn, static_cast<std::uint8_t>(~kSafeguardOn));
    // The guard lies 8 or 4 units of 4 bytes before the end, by bus width.
    const bool wide_bus = (ReadReg(kGrIndexPort, kGrMemoryConfig) & kWideBus) != 0;
    const std::uint32_t guard = address / 4 - (wide_bus ? 8u : 4u);
    if (wCaptureIndex == 0) {
        WriteReg(kGrIndexPort, 0x45, byte0(guard));
        WriteReg(kGrIndexPort, 0x46, byte1(guard));
        Out_Video_Reg_M(0x49, byte2(guard), 0xF0); // bits 16-19 into bits 0-3
    } else {
        WriteReg(kGrIndexPort, 0x47, byte0(guard));
        WriteReg(kGrIndexPort, 0x48, byte1(guard));
        Out_Video_Reg_M(0x49, static_cast<std::uint8_t>((guard / 4096) & 0xF0), 0x0F); // into bits 4-7
    }
}

void Kova_CaptureCleanUp(void) {
    select_common_bank();
    Out_SEQ_Reg_M(kSrSafeguard, 0x00, static_cast<std::uint8_t>(~kSafeguardOn));
    Out_Video_Reg_M(kGrVideoPort, 0x00, 0x7C);
    Out_Video_Reg_M(kGrCaptureControl, 0x00, 0x92);
}

// ---------------------------------------------------------------- double buffering, field polarity

void Kova_EnableDoubleBuffer(unsigned char on) {
    constexpr std::uint8_t kGrF7 = 0xF7;
    WriteReg(kGrIndexPort, kGrF7, 0x00);
    WriteReg(kGrIndexPort, kGrBank, kBankEngine1);
    if (on != 0) {
        WriteReg(kGrIndexPort, 0xE7, 0x60);
        WriteReg(kGrIndexPort, 0xE9, 0x06);
        Out_Video_Reg_M(0xE0, 0x68, 0x97); // bits 6, 5 and 3 set
        Out_Video_Reg_M(0xE3, 0x08, 0xF7); // bit 3 set
    } else {
        WriteReg(kGrIndexPort, 0xE7, 0x00);
        WriteReg(kGrIndexPort, 0xE9, 0x00);
        WriteReg(kGrIndexPort, 0xE0, 0x00);
        WriteReg(kGrIndexPort, 0xE3, 0x00);
        WriteReg(kGrIndexPort, 0xE5, 0x00);
    }
    WriteReg(kGrIndexPort, kGrBank, kBankCommon);
    const std::uint8_t on_ac = on != 0 ? 0x02 : 0x00; // GR AC bit 1
    const std::uint8_t on_a9 = on != 0 ? 0x10 : 0x00; // GR A9 bit 4
    Out_Video_Reg_M(0xAC, on_ac, 0xFD);
    Out_Video_Reg_M(0xA9, on_a9, 0xEF);
    Out_SEQ_Reg_M(0xA6, 0x00, 0xDF); // SR A6 bit 5 cleared
}

void Kova_SetBackBuffer_addr(unsigned int address) {
    const std::uint32_t start = address / 4;
    WriteReg(kGrIndexPort, kGrBank, kBankCommon);
    WriteReg(kGrIndexPort, 0xF7, 0x00);
    WriteReg(kGrIndexPort, 0xA7, byte0(start));
    WriteReg(kGrIndexPort, 0xA8, byte1(start));
    Out_Video_Reg_M(0xA9, byte2(start), 0xF0); // bits 0-3; the on bit 4 survives
    Out_Video_Reg_M(0xAD, byte2(start), 0xF0);
    WriteReg(kGrIndexPort, kGrBank, kBankBackBufferCopy);
    WriteReg(kGrIndexPort, 0x41, byte0(start));
    WriteReg(kGrIndexPort, 0x42, byte1(start));
    WriteReg(kGrIndexPort, kGrBank, kBankCommon);
}

void Kova_InvertFieldPolarity(unsigned char invert) {
    WriteReg(kGrIndexPort, kGrBank, kBankCommon);
    Out_Video_Reg_M(kGrFieldControl, invert != 0 ? kFieldInverted : 0x00, 0xDF);
}

} // extern "C"
