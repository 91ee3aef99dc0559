// synclock: sync lock of the display and TV encoder to the incoming video,
// the genlock-mode lock and the video clock switch.  Their register images
// are in synclock_tables.cpp.
#include "synclock.h"

#include "misc.h"
#include "portmem.h"
#include "status_wait.h"

#include <array>
#include <cstdint>
#include <iterator>
#include "register_access.h"
#include "vga_ports.h"

// ---------------------------------------------------------------------------
// Save areas and state.  The arrays take their sizes from their declarations
// in synclock.h; their order in the lock-state record is in save_areas.h.

extern "C" {

decltype(wTVReg16) wTVReg16 = {};
decltype(dwTVReg32) dwTVReg32 = {};
decltype(bOldRegCrt) bOldRegCrt = {};
unsigned char b3CE_B0 = 0;
unsigned char b3CE_B1 = 0;
unsigned char b3CE_BA = 0;

unsigned short wSyncLock = 0;
unsigned short wSyncLockGM = 0;
unsigned short wVStandard = 0xFFFF;
unsigned short wVCRMode = 0;

unsigned short wExtClock = 0;
unsigned char bEA = 0, bEB = 0, bEC = 0, bED = 0, bEE = 0, bEF = 0, bA6 = 0;
unsigned short wE5F0 = 0, wE5F2 = 0, wE5F4 = 0, wE5F6 = 0, wE4EC = 0;

unsigned char b3d40 = 0;
unsigned char b3d41 = 0;

} // extern "C"

// ---------------------------------------------------------------------------
// Sequences.

namespace {

using namespace kova::vga;
using namespace kova::reg;

constexpr unsigned short kNtsc = 1;
constexpr unsigned short kPal = 0;
// The tables' sizes, as synclock.h declares them.
constexpr unsigned kVariants = std::size(bPALRegSync);
constexpr unsigned kNtscModes = KOVA_NTSC_MODES;
constexpr unsigned kPalModes = KOVA_PAL_MODES;
constexpr unsigned kTv16Count = std::size(wTVReg16);
constexpr unsigned kTv32Count = std::size(dwTVReg32);
constexpr unsigned kAddonSlots = std::size(wAddonTVindex);
constexpr unsigned kCrtCount = std::size(bRegIndex);
constexpr unsigned kExtSyncCount = std::size(bRegExtSyncIndex);
static_assert(std::size(wPALTVReg16[0]) == kTv16Count && std::size(dwPALTVReg32[0]) == kTv32Count);
static_assert(std::size(bOldRegCrt) == kCrtCount);

constexpr unsigned kSyncCount = kSyncRegisterCount;
constexpr std::array<Address, kSyncCount> kSync = kSyncRegisters; // this module's own copy
static_assert(std::size(bPALRegSync[0][0]) == kSyncCount);
constexpr std::uint8_t kCrtUnlockValue = 0x03;
constexpr unsigned char kNtscMinHorizontalTotal = 0x66;
constexpr unsigned short kNtscModeKeepingTotal = 1; // the mode that always takes the image's total

// The extended-sync block that the clean-up clears, in order (SR E3 is not part of it).
constexpr Address kExtSyncBlock[] = {kExtSyncE0,  kExtSyncE1, kExtSyncE2, kExtSyncE4, kExtSyncE5,
                                     kExtSyncE6,  kExtSyncE7, kExtSyncE8, kExtSyncE9, kExtSyncEA,
                                     kVcrControl, kExtSyncEC, kExtSyncED, kClockEE};

// TV images.
constexpr unsigned kDeferredEntry = 21;          // TV E47C in the 16-bit images
constexpr unsigned kDeferredSlot = 13;           // TV E47C in the add-on rows
constexpr unsigned short kDeferredHold = 0x0344; // while the other registers change
constexpr unsigned short kNoOverride = 0xFFFF;
constexpr unsigned kTvE5F4Entry = 49; // 32-bit entry of TV E5F4 (low) / E5F6 (high)
constexpr auto kGenlockE5F6Bits = static_cast<unsigned short>(tv_e5f6::kGenlock.mask());
static_assert(kTvImage16First.index + 4 * kDeferredEntry == kTvDeferred.index);
static_assert(kTvImage32First.index + 4 * kTvE5F4Entry == kTvClockE5F4.index);

// The fields of the DAC mask port and the TV output control the sequences change.
constexpr auto kDacPowerDown = static_cast<std::uint8_t>(dac_mask::kPowerDown.mask());
constexpr auto kDacMaskAccess = static_cast<std::uint8_t>(dac_access::kMaskPort.mask());

constexpr unsigned kLockSettleRetraces = 15;
constexpr unsigned kTvColorLeadRetraces = 6;
constexpr unsigned kTvColorTestRetraces = 2;

constexpr unsigned short tv16_register(unsigned i) {
    return static_cast<unsigned short>(kTvImage16First.index + 4 * i);
}
constexpr unsigned short tv32_low_register(unsigned i) {
    return static_cast<unsigned short>(kTvImage32First.index + 4 * i);
}
constexpr unsigned short tv32_high_register(unsigned i) {
    return static_cast<unsigned short>(kTvImage32First.index + 4 * i + 2);
}
constexpr unsigned short low_half(unsigned int value) {
    return static_cast<unsigned short>(value & 0xFFFF);
}
constexpr unsigned short high_half(unsigned int value) {
    return static_cast<unsigned short>(value >> 16);
}

// ---- register helpers ------------------------------------------------------

unsigned char cr(unsigned char index) {
    return ReadReg(kCrIndexPort, index);
}
void set_cr(unsigned char index, unsigned char value) {
    WriteReg(kCrIndexPort, index, value);
}
void write_tv(Address r, unsigned short value) {
    WriteTVReg(r.index, value);
}
unsigned short read_tv(Address r) {
    return ReadTVReg(r.index);
}

// ---- retrace waits ---------------------------------------------------------

// Waits for n vertical retraces: n times, until the retrace bit is 1 and then
// until it is 0.  The first poll that runs out ends the whole wait.
void wait_retraces(unsigned n, const char *wait_name) {
    for (unsigned k = 0; k < n; ++k)
        if (!kova::wait_edge(wait_name, input_status::kVerticalRetrace, kova::Edge::Falling)) return;
}

// ---- table rows ------------------------------------------------------------

bool has_rows(bool ntsc, unsigned short mode, unsigned char variant) {
    return variant < kVariants && mode < (ntsc ? kNtscModes : kPalModes);
}

// The rows one lock loads.
struct LockRows {
    const unsigned char *ext_sync; // kExtSyncCount
    const unsigned char *sync;     // kSyncCount
    const unsigned short *tv16;    // kTv16Count
    const unsigned int *tv32;      // kTv32Count
    const unsigned short *addon;   // kAddonSlots
};

// PAL mode 2 takes its TV images from the Ks tables, its other rows from the
// PAL tables like every PAL mode.
LockRows lock_rows(unsigned short standard, unsigned short mode, unsigned char variant) {
    if (standard == kNtsc)
        return {bNTSCRegExtSync[variant][mode], bNTSCRegSync[variant][mode], wNTSCTVReg16[variant],
                dwNTSCTVReg32[variant], wAddonNTSCTVReg[variant][mode]};
    const bool ks = mode == 2;
    return {bPALRegExtSync[variant][mode], bPALRegSync[variant][mode],
            ks ? wKsPALTVReg16[variant] : wPALTVReg16[variant],
            ks ? dwKsPALTVReg32[variant] : dwPALTVReg32[variant], wAddonPALTVReg[variant][mode]};
}

// The upper half of the TV E5F4/E5F6 image: always from the plain tables (PAL
// mode 2 included), as the output switch and the video clock switch use it.
unsigned short e5f6_image(bool ntsc, unsigned char variant) {
    return high_half((ntsc ? dwNTSCTVReg32 : dwPALTVReg32)[variant][kTvE5F4Entry]);
}

// ---- clock patterns --------------------------------------------------------

struct ClockPattern {
    unsigned char ee, ef, a6;
};
// What the clock patterns leave alone: SR EE all but bits 7 and 0, SR A6 all
// but the clock bit, SR EF by use.
constexpr std::uint8_t kEEKeep = keep_all_but(clock_ee::kBit7, clock_ee::kBit0);
constexpr std::uint8_t kA6Keep = keep_all_but(line_buffer::kClock);
constexpr std::uint8_t kLockEFKeep = keep_all_but(clock_ef::kBit0, clock_ef::kSelect0, clock_ef::kVariant1);
constexpr std::uint8_t kGenlockPalEFKeep =
    keep_all_but(clock_ef::kBit0, clock_ef::kSelect0, clock_ef::kVariant1, clock_ef::kGenlock);
constexpr auto kGenlockPalEFBits = static_cast<std::uint8_t>(clock_ef::kGenlock.mask());
constexpr std::uint8_t kVideoClockEFKeep = clear_all_but(clock_ef::kEngine1).keep;

// [ntsc][clockSelect][variant != 0]
constexpr ClockPattern kLockClock[2][2][2] = {
    {{{0x01, 0x05, 0x00}, {0x00, 0x0D, 0x00}}, {{0x81, 0x01, 0x00}, {0x00, 0x09, 0x00}}}, // PAL
    {{{0x01, 0x05, 0x10}, {0x00, 0x0D, 0x00}}, {{0x01, 0x01, 0x10}, {0x00, 0x09, 0x00}}}, // NTSC
};
constexpr ClockPattern kVideoClock[2][2][2] = {
    {{{0x81, 0x35, 0x00}, {0x00, 0x3D, 0x00}}, {{0x81, 0x31, 0x00}, {0x00, 0x39, 0x00}}}, // PAL
    {{{0x01, 0x35, 0x10}, {0x80, 0x3D, 0x00}}, {{0x01, 0x31, 0x10}, {0x80, 0x39, 0x00}}}, // NTSC
};

bool selects_clock(unsigned short clockSelect) {
    return clockSelect == 0 || clockSelect == 1;
}

// ---- lock building blocks --------------------------------------------------

enum class Lock { Plain, Genlock };

// GR BF bank 1 for the four masked GR BA/BB writes, back to bank 0, GR B5.
void video_register_prologue() {
    set_video_port_paged_bits();
    write(kVideoPortControl, (set(video_port::kLow, 3) | set(video_port::kHigh, 1)).value);
}

// Sync-lock video output on: SR 4A bit 3 in bank 0, SR 4F bits 7, 6, 4, 0 in
// bank 8.  Leaves GR FA at bank 8.
void output_switch_on() {
    write(kPageSelect, page::kCommon);
    set_bits(kOutputSwitch, kOutputSwitch.field().mask());
    write(kPageSelect, page::kOutputSwitch);
    set_bits(kOutputSwitch2, output_switch2::kHigh.mask());
    set_bits(kOutputSwitch2, mask_of(output_switch2::kBit4, output_switch2::kBit0));
}

void load_ext_sync(const unsigned char *row) {
    for (unsigned i = 0; i + 1 < kExtSyncCount; ++i)
        Out_SEQ_Reg(bRegExtSyncIndex[i], row[i]);
    // The last entry is SR EF: its engine bit and bits 7-6 keep their value.
    const auto ef = image_keeping(row[kExtSyncCount - 1], clock_ef::kHigh, clock_ef::kEngine1);
    Out_SEQ_Reg_M(bRegExtSyncIndex[kExtSyncCount - 1], ef.value, ef.keep);
}

void write_sync_registers(const unsigned char *row) {
    for (unsigned i = 0; i < kSyncCount; ++i)
        write(kSync[i], row[i]);
}

void clear_sync_registers() {
    for (unsigned i = 0; i < kSyncCount; ++i)
        write(kSync[i], 0x00);
}

// Steps of a lock after the prologue, for standard 0 or 1 with rows in the
// tables.  The genlock mode leaves the output switch off, forces SR EF bits 4
// and 5 for PAL and loads only bits 4 and 5 of the TV E5F6 image.
void lock(Lock kind, unsigned short clockSelect, unsigned short standard, unsigned short mode,
          unsigned char variant) {
    const bool ntsc = standard == kNtsc;
    const LockRows rows = lock_rows(standard, mode, variant);

    if (kind == Lock::Plain)
        wSyncLock = 1;
    else
        wSyncLockGM = 1;
    wVStandard = standard;

    wTVReg16[kDeferredEntry] = read_tv(kTvDeferred);
    write_tv(kTvDeferred, kDeferredHold);

    load_ext_sync(rows.ext_sync);
    if (kind == Lock::Plain) output_switch_on();
    update(kExtSyncED, set(ext_sync_ed::kBit6, 0));

    if (selects_clock(clockSelect)) {
        ClockPattern p = kLockClock[ntsc][clockSelect][variant != 0];
        unsigned char ef_keep = kLockEFKeep;
        if (kind == Lock::Genlock && !ntsc) {
            p.ef = static_cast<unsigned char>(p.ef | kGenlockPalEFBits);
            ef_keep = kGenlockPalEFKeep;
        }
        update(kClockEE, {p.ee, kEEKeep});
        update(kClockEF, {p.ef, ef_keep});
        update(kLineBuffer, {p.a6, kA6Keep});
    }

    WriteCrt(standard, mode);

    ResetDisplayFetch(1);
    WaitCRTVSync();
    WaitCRTVSync();
    set_bits(kVcrControl, kVcrControl.field().mask());
    ResetDisplayFetch(0);

    write_sync_registers(rows.sync);

    unsigned short deferred = rows.tv16[kDeferredEntry];
    for (unsigned i = 0; i < kTv16Count; ++i) {
        if (i == kDeferredEntry) continue;
        wTVReg16[i] = ReadTVReg(tv16_register(i));
        WriteTVReg(tv16_register(i), rows.tv16[i]);
    }
    for (unsigned i = 0; i < kTv32Count; ++i) {
        const unsigned short high = ReadTVReg(tv32_high_register(i));
        const unsigned short low = ReadTVReg(tv32_low_register(i));
        dwTVReg32[i] = static_cast<unsigned int>(high) << 16 | low;
        unsigned short image_high = high_half(rows.tv32[i]);
        if (kind == Lock::Genlock && i == kTvE5F4Entry) image_high &= kGenlockE5F6Bits;
        WriteTVReg(tv32_low_register(i), low_half(rows.tv32[i]));
        WriteTVReg(tv32_high_register(i), image_high);
    }
    for (unsigned slot = 0; slot < kAddonSlots; ++slot) {
        const unsigned short value = rows.addon[slot];
        if (value == kNoOverride) continue;
        if (slot == kDeferredSlot)
            deferred = value;
        else
            WriteTVReg(wAddonTVindex[slot], value);
    }

    wait_retraces(kLockSettleRetraces, "sync lock settle");
    write_tv(kTvDeferred, deferred);
}

// The lock entry points: DAC off, prologue, the lock for standard 0 or 1, the
// TV colour check, DAC on.  A row outside the tables stops everything.
void start_lock(Lock kind, unsigned short clockSelect, unsigned short standard, unsigned short mode,
                unsigned char variant) {
    const bool locks = standard == kNtsc || standard == kPal;
    if (locks && !has_rows(standard == kNtsc, mode, variant)) return;
    DACPower(0);
    video_register_prologue();
    if (locks) lock(kind, clockSelect, standard, mode, variant);
    Kova_SetTVColor();
    DACPower(1);
}

// Clean-up of either lock once its flag has been tested and cleared.
void end_lock(Lock kind) {
    write_tv(kTvDeferred, kDeferredHold);
    CleanupCrt();

    ResetDisplayFetch(1);
    clear_bits(kVcrControl, kVcrControl.field().mask());
    WaitCRTVSync();
    WaitCRTVSync();
    ResetDisplayFetch(0);

    update(kClockEF, clear_all_but(clock_ef::kEngine1));
    for (const Address r : kExtSyncBlock) {
        if (r.index == kExtSyncED.index)
            update(kExtSyncED, set(ext_sync_ed::kBit6, 0) | set(ext_sync_ed::kBit5, 0));
        else
            write(r, 0x00);
    }
    clear_sync_registers();

    if (kind == Lock::Plain) {
        write(kPageSelect, page::kCommon);
        clear_bits(kOutputSwitch, kOutputSwitch.field().mask());
        write(kPageSelect, page::kOutputSwitch);
        update(kOutputSwitch2, set(output_switch2::kBit4, 0) | set(output_switch2::kBit0, 0));
        write(kPageSelect, page::kCommon);
    }

    for (unsigned i = 0; i < kTv16Count; ++i)
        if (i != kDeferredEntry) WriteTVReg(tv16_register(i), wTVReg16[i]);
    for (unsigned i = 0; i < kTv32Count; ++i) {
        WriteTVReg(tv32_low_register(i), low_half(dwTVReg32[i]));
        WriteTVReg(tv32_high_register(i), high_half(dwTVReg32[i]));
    }

    wait_retraces(kLockSettleRetraces, "sync lock clean-up settle");
    write_tv(kTvDeferred, wTVReg16[kDeferredEntry]);

    Kova_SetTVColor();
    DACPower(1);
}

// The synthesiser takes the new pixel clock on a pulse of its load bit.
void load_pixel_clock() {
    write(kClockLoad, set(kClockLoad.field(), 1).value);
    write(kClockLoad, 0x00);
}

// GR 4E of page 5, reached by plain port accesses.
void select_tv_color_register() {
    kovaoutp(kGrIndexPort, kPageSelect.at());
    kovaoutp(kGrDataPort, page::kTvOutput);
    kovaoutp(kGrIndexPort, kTvOutputControl.at());
}

} // namespace

extern "C" {

// ---- CRT timing override and display fetch --------------------------------

void DACPower(unsigned short on) {
    kovaoutp(kGrIndexPort, kDacAccess.at());
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) | kDacMaskAccess));
    const unsigned char mask = kovainp(kDacMaskPort);
    kovaoutp(kDacMaskPort,
             static_cast<unsigned char>(on != 0 ? mask & ~kDacPowerDown : mask | kDacPowerDown));
    kovaoutp(kGrIndexPort, kDacAccess.at());
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) & ~kDacMaskAccess));
}

void WaitCRTVSync(void) {
    constexpr const char *name = "WaitCRTVSync";
    // The end of the retrace in progress or next, then the start of the next.
    if (!kova::wait_edge(name, input_status::kVerticalRetrace, kova::Edge::Falling)) return;
    (void)kova::poll_input_status(name, input_status::kVerticalRetrace, true);
}

void ResetDisplayFetch(unsigned short hold) {
    // Bit 6 of GR DE, SR DE and GR 70, in this order.
    constexpr Address kFetchResets[] = {in(File::GR, kOvlDisplay), in(File::SR, kOvlDisplay), kFetchControl};
    static_assert(ovl_display::kFetchReset.mask() == kFetchControl.field().mask());
    const std::uint32_t bit = kFetchControl.field().mask();
    for (const Address r : kFetchResets) {
        if (hold != 0)
            set_bits(r, bit);
        else
            clear_bits(r, bit);
    }
}

void WriteCrt(unsigned short standard, unsigned short mode) {
    const unsigned char *image = nullptr;
    if (standard == kNtsc || standard == kPal) {
        if (!has_rows(standard == kNtsc, mode, 0)) return;
        image = standard == kNtsc ? bNTSCRegCrt[mode] : bPALRegCrt[mode];
    }

    ResetDisplayFetch(1);
    const unsigned char unlock = read(kCrtUnlock);
    write(kCrtUnlock, kCrtUnlockValue);
    clear_bits(kVerticalRetraceEnd, kVerticalRetraceEnd.field().mask());
    if (image != nullptr) {
        for (unsigned i = 0; i < kCrtCount; ++i) {
            const unsigned char old = cr(bRegIndex[i]);
            bOldRegCrt[i] = old;
            unsigned char value = image[i];
            // NTSC keeps a horizontal total above the image's, except in mode 1.
            if (standard == kNtsc && bRegIndex[i] == kHorizontalTotal.at() && mode != kNtscModeKeepingTotal &&
                old > kNtscMinHorizontalTotal)
                value = old;
            set_cr(bRegIndex[i], value);
        }
    }
    write(kCrtUnlock, unlock);
    set_bits(kVerticalRetraceEnd, kVerticalRetraceEnd.field().mask());

    b3CE_B0 = read(kPixelClockN);
    b3CE_B1 = read(kPixelClockM);
    b3CE_BA = read(kPixelClockHigh);
    // 27.0 MHz.
    write(kPixelClockN, 0x42);
    write(kPixelClockM, 0xD0);
    write(kPixelClockHigh, 0x89);
    load_pixel_clock();
    ResetDisplayFetch(0);
}

void CleanupCrt(void) {
    ResetDisplayFetch(1);
    const unsigned char unlock = read(kCrtUnlock);
    write(kCrtUnlock, kCrtUnlockValue);
    clear_bits(kVerticalRetraceEnd, kVerticalRetraceEnd.field().mask());
    for (unsigned i = 0; i < kCrtCount; ++i)
        set_cr(bRegIndex[i], bOldRegCrt[i]);
    write(kCrtUnlock, unlock);
    set_bits(kVerticalRetraceEnd, kVerticalRetraceEnd.field().mask());

    write(kPixelClockN, b3CE_B0);
    write(kPixelClockM, b3CE_B1);
    write(kPixelClockHigh, b3CE_BA);
    load_pixel_clock();
    ResetDisplayFetch(0);
}

// ---- Sync lock -------------------------------------------------------------

void Kova_DoSyncLock(unsigned short clockSelect, unsigned short standard, unsigned short mode,
                     unsigned char variant) {
    start_lock(Lock::Plain, clockSelect, standard, mode, variant);
}

void Kova_CleanupSyncLock(void) {
    if (wSyncLock == 0) return;
    DACPower(0);
    wSyncLock = 0;
    end_lock(Lock::Plain);
}

void Kova_SetVCRMode(unsigned short vcrMode) {
    if (wSyncLock == 0) return;
    ResetDisplayFetch(1);
    if (vcrMode != 0) {
        clear_bits(kVcrControl, kVcrControl.field().mask());
        write_tv(kTvVcr, 0x0330);
    } else {
        set_bits(kVcrControl, kVcrControl.field().mask());
        write_tv(kTvVcr, 0x0338);
    }
    ResetDisplayFetch(0);
    wVCRMode = vcrMode;
}

int Kova_GetTVMode(void) {
    return kTvStandard.field().extract(read_tv(kTvStandard)) != 0 ? 1 : 0;
}

void Kova_SetTVColor(void) {
    using namespace tv_output;
    wait_retraces(kTvColorLeadRetraces, "TV colour check");

    const unsigned short level_a = read_tv(kTvColourLevelA);
    const unsigned short level_b = read_tv(kTvColourLevelB);
    const unsigned short dac = read_tv(kTvDacControl);
    const unsigned short e5f6 = read_tv(kTvClockE5F6);

    select_tv_color_register();
    const unsigned char entry = kovainp(kGrDataPort);
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) | kTestSet.mask()));
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) & ~kTestClear.mask()));

    write_tv(kTvDacControl, static_cast<unsigned short>(dac | mask_of(tv_dac::kDrive0, tv_dac::kDrive1)));
    write_tv(kTvColourLevelA, 0x0020);
    write_tv(kTvColourLevelB, 0x0020);
    write_tv(kTvClockE5F6,
             static_cast<unsigned short>(e5f6 & tv_keep_all_but(tv_e5f6::kBit8, tv_e5f6::kBit1)));
    write_tv(kTvColourTestA, 0xFF40);
    write_tv(kTvColourTestB, 0x0000);

    wait_retraces(kTvColorTestRetraces, "TV colour check");
    const unsigned short result = read_tv(kTvColourResult);

    write_tv(kTvColourTestA, 0x0000);
    write_tv(kTvColourTestB, 0x0000);
    write_tv(kTvColourLevelA, level_a);
    write_tv(kTvColourLevelB, level_b);
    write_tv(kTvDacControl, dac);
    write_tv(kTvClockE5F6, e5f6);

    select_tv_color_register();
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) & ~kTestSet.mask()));
    kovaoutp(kGrDataPort, static_cast<unsigned char>(kovainp(kGrDataPort) | (entry & kTestClear.mask())));

    if (kTvColourResult.field().extract(result) == 0)
        write_tv(kTvColourFlip,
                 static_cast<unsigned short>(read_tv(kTvColourFlip) ^ kTvColourFlip.field().mask()));
}

// ---- Video clock switch ----------------------------------------------------

void Kova_ChangeToVideoClk(unsigned short clockSelect, unsigned short standard, unsigned char variant,
                           unsigned char enable, unsigned short mode) {
    const bool ntsc = standard == kNtsc;
    if (enable != 0) {
        if (wExtClock != 0 || !has_rows(ntsc, mode, variant)) return;
        wExtClock = 1;
        DACPower(0);

        bEA = read(kExtSyncEA);
        bEB = read(kVcrControl);
        bEC = read(kExtSyncEC);
        bED = read(kExtSyncED);
        bEE = read(kClockEE);
        bEF = read(kClockEF);
        bA6 = read(kLineBuffer);
        wE5F0 = read_tv(kTvClockE5F0);
        wE5F2 = read_tv(kTvClockE5F2);
        wE5F4 = read_tv(kTvClockE5F4);
        wE5F6 = read_tv(kTvClockE5F6);
        wE4EC = read_tv(kTvE4EC);

        update(kExtSyncEC, set(ext_sync_ec::kBit4, 0) | set(ext_sync_ec::kBit2, 0));
        write(kExtSyncE4, video_clock_e4(ntsc));
        write(kExtSyncE5, 0x03);
        update(kVcrControl, set(kVcrControl.field(), 1));
        update(kExtSyncED, set(ext_sync_ed::kBit6, 0));
        if (selects_clock(clockSelect)) {
            const ClockPattern p = kVideoClock[ntsc][clockSelect][variant != 0];
            update(kClockEE, {p.ee, kEEKeep});
            update(kClockEF, {p.ef, kVideoClockEFKeep});
            update(kLineBuffer, {p.a6, kA6Keep});
        }
        write_sync_registers(ntsc ? bNTSCRegSync[variant][mode] : bPALRegSync[variant][mode]);
        update(kExtSyncEC, set(ext_sync_ec::kBit4, 0) | set(ext_sync_ec::kBit2, 0));

        if (ntsc) {
            write_tv(kTvClockE5F0, 0x010F);
            write_tv(kTvClockE5F2, 0x0DD0);
            write_tv(kTvClockE5F4, 0xF300);
            write_tv(kTvE4EC, static_cast<unsigned short>(wE4EC | kTvE4EC.field().mask()));
        } else {
            write_tv(kTvClockE5F0, 0xE150);
            write_tv(kTvClockE5F2, 0x080D);
            write_tv(kTvClockE5F4, 0xED0D);
        }
        write_tv(kTvClockE5F6,
                 static_cast<unsigned short>(wE5F6 | (e5f6_image(ntsc, variant) & kGenlockE5F6Bits)));
    } else {
        if (wExtClock == 0) return;
        DACPower(0);
        wExtClock = 0;

        write(kExtSyncE4, 0x00);
        write(kExtSyncE5, 0x00);
        update(kVcrControl, set_value(kVcrControl.field(), kVcrControl.field().extract(bEB)));
        update(kClockEE, {bEE, kEEKeep});
        update(kClockEF, {bEF, kVideoClockEFKeep});
        update(kExtSyncED, set_value(ext_sync_ed::kBit6, ext_sync_ed::kBit6.extract(bED)));
        update(kLineBuffer, {bA6, kA6Keep});
        clear_sync_registers();
        write_tv(kTvClockE5F0, wE5F0);
        write_tv(kTvClockE5F2, wE5F2);
        write_tv(kTvClockE5F4, wE5F4);
        write_tv(kTvE4EC, wE4EC);
        write_tv(kTvClockE5F6, wE5F6);
        update(kExtSyncEC, set_value(ext_sync_ec::kBit4, ext_sync_ec::kBit4.extract(bEC)) |
                               set_value(ext_sync_ec::kBit2, ext_sync_ec::kBit2.extract(bEC)));
    }
    Kova_SetTVColor();
    DACPower(1);
}

// ---- Genlock-mode sync lock ------------------------------------------------

void Kova_SetSyncLockGM(unsigned short clockSelect, unsigned short standard, unsigned short mode,
                        unsigned char variant) {
    start_lock(Lock::Genlock, clockSelect, standard, mode, variant);
}

void Kova_OutputSyncLockVideo(unsigned short enable, unsigned short standard, unsigned short mode,
                              unsigned char variant) {
    const bool ntsc = standard == kNtsc;
    if (wSyncLockGM == 0 || !has_rows(ntsc, mode, variant)) return;

    if (enable != 0) {
        output_switch_on();
        write(kPageSelect, page::kCommon);
    } else {
        write(kPageSelect, page::kCommon);
        clear_bits(kOutputSwitch, kOutputSwitch.field().mask());
        write(kPageSelect, page::kOutputSwitch);
        clear_bits(kOutputSwitch2, mask_of(output_switch2::kBit4, output_switch2::kBit0));
        write(kPageSelect, page::kCommon);
    }

    unsigned short value = ntsc ? wAddonNTSCTVReg[variant][mode][0] : wAddonPALTVReg[variant][mode][0];
    if (value == kNoOverride) value = e5f6_image(ntsc, variant);
    if (enable == 0) value &= kGenlockE5F6Bits;
    write_tv(kTvClockE5F6, value);
}

void Kova_CleanupSyncLockGM(void) {
    if (wSyncLockGM == 0) return;
    DACPower(0);
    wSyncLockGM = 0;
    end_lock(Lock::Genlock);
}

} // extern "C"
