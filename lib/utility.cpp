// utility: screen and memory queries, clock readout, sync waits, display
// detection and DAC switches.
#include "utility.h"

#include "misc.h"
#include "portmem.h"
#include "decode.h"
#include "status_wait.h"
#include "register_access.h"

#include <array>
#include <cstdint>
#include "vga_ports.h"

namespace {

using namespace kova::vga;
using namespace kova::reg;

// CRT DAC control values.
constexpr std::uint8_t kCrtDacOn = 0x00;
constexpr auto kCrtDacOff = static_cast<std::uint8_t>(kCrtDacControl.field().mask());

// TV encoder values used for sensing.
constexpr std::uint16_t kTvSenseDrive = static_cast<std::uint16_t>(mask_of(tv_dac::kDrive0, tv_dac::kDrive1));
constexpr std::uint16_t kTvSenseAll = 0xFFFF;
constexpr std::uint16_t kTvSenseLevelLater = 0x3FFF;
constexpr std::uint16_t kTvSenseLevelEarlier = 0x00FF;
constexpr int kTvSenseBlankingWaits = 3;

constexpr unsigned short kSwitchOn = 1;

std::uint8_t read_graphics(Address r) {
    return read(r);
}

bool later_generation() {
    return kova::decode::later_generation(GetChipID());
}

// The next rising edge of the blanking bit (bounded; false after a timeout).
bool wait_blanking() {
    return kova::wait_edge("WaitCrtHoriSync", input_status::kBlanking, kova::Edge::Rising);
}

// Sense codes to results: 1 connected, 0 not, 2 (TV only) the other kind of
// load, 0xFFFF undecided.
constexpr std::array<unsigned short, 4> kCrtSenseResult{0xFFFF, 0xFFFF, 1, 0};
constexpr std::array<unsigned short, 4> kTvSenseResult{0xFFFF, 1, 0, 2};

} // namespace

extern "C" {

// ---- Screen and memory queries ----

unsigned short GetCurrentScreenInfo(unsigned short which) {
    using namespace kova::decode;
    const std::uint8_t cr01 = read(kHorizontalDisplayEnd);
    const std::uint8_t cr07 = read(kOverflow);
    const std::uint8_t cr12 = read(kVerticalDisplayEnd);
    const std::uint8_t cr53 = read(kExtendedHorizontal);
    const std::uint8_t gr11 = read_graphics(kExtendedVertical);
    return which == 0 ? visible_width(cr01, cr53) : visible_height(cr12, cr07, gr11);
}

unsigned short GetCurrentScreenMapSize(unsigned short which) {
    const std::uint32_t width = GetCurrentScreenInfo(0);
    const std::uint32_t height = GetCurrentScreenInfo(1);
    const std::uint32_t bytes_per_pixel = GetBpp() / 8u;
    const std::uint32_t bytes = width * height * bytes_per_pixel;
    const std::uint32_t used = (bytes >> 10) + ((bytes & 0x3FF) != 0 ? 1 : 0);
    if (which != 1) return static_cast<unsigned short>(used);

    const std::uint32_t total = GetVMemSize() * 1024u;
    // A mode bigger than the video memory leaves nothing, not a wrapped count.
    return static_cast<unsigned short>(used < total ? total - used : 0);
}

unsigned int GetLinearBufferPtr(void) {
    return static_cast<unsigned int>(read_graphics(kApertureBase)) << 24;
}

unsigned short GetBpp(void) {
    return kova::decode::bits_per_pixel(read_graphics(kPixelDepth));
}

unsigned short GetVMemSize(void) {
    return static_cast<unsigned short>(kova::decode::video_memory_mib(read_graphics(kMemoryConfig)));
}

unsigned short GetBusWidth(void) {
    return kova::decode::wide_bus(read_graphics(kMemoryConfig)) ? 1 : 0;
}

unsigned short GetChipID(void) {
    // While GR 91 is still selected, the second read is of its data port alone.
    if (kova::decode::no_chip_id(read_graphics(kChipRevision), [] { return kovainp(kGrDataPort); }))
        return kova::decode::kNoChipId;
    return read_graphics(kChipId);
}

// ---- Clock readout ----

double CalculateClock(unsigned char n, unsigned char m, unsigned char h) {
    return kova::decode::synthesiser_mhz(n, m, h, later_generation());
}

double GetVMemoryClock(void) {
    const std::uint8_t n = read_graphics(kMemoryClockN);
    const std::uint8_t m = read_graphics(kMemoryClockM);
    const std::uint8_t h = read_graphics(kMemoryClockHigh);
    return CalculateClock(n, m, h);
}

double GetVPixelClock(void) {
    const unsigned select = misc_output::kClockSelect.extract(kovainp(kMiscOutputReadPort));
    if (select != kova::decode::kSynthesisedClock) return kova::decode::fixed_pixel_clock(select);
    const std::uint8_t n = read_graphics(kPixelClockN);
    const std::uint8_t m = read_graphics(kPixelClockM);
    const std::uint8_t h = read_graphics(kPixelClockHigh);
    return CalculateClock(n, m, h);
}

// ---- Sync waits ----

void WaitCrtVertSync(void) {
    (void)kova::wait_edge("WaitCrtVertSync", input_status::kVerticalRetrace, kova::Edge::Rising);
}

void WaitCrtHoriSync(void) {
    (void)wait_blanking();
}

// ---- Display detection ----

unsigned short DetectCRT(void) {
    write(kPageSelectB, page_b::kCrtSense);
    const unsigned short result = kCrtSenseResult[kCrtSense.field().extract(read_graphics(kCrtSense))];
    write(kPageSelectB, page_b::kCommon);
    return result;
}

unsigned short DetectTV(void) {
    write(kPageSelectB, page_b::kVideoPort);
    unsigned short result = 0;
    if (kTvSenseStatus.field().extract(read_graphics(kTvSenseStatus)) != 0) {
        const unsigned short saved_mask = ReadTVReg(kTvSenseMask.index);
        const unsigned short saved_level = ReadTVReg(kTvSenseLevel.index);
        const unsigned short saved_dac = ReadTVReg(kTvDacControl.index);
        WriteTVReg(kTvDacControl.index, kTvSenseDrive);
        WriteTVReg(kTvSenseMask.index, kTvSenseAll);
        WriteTVReg(kTvSenseLevel.index, later_generation() ? kTvSenseLevelLater : kTvSenseLevelEarlier);

        // With the timing stopped one timed-out wait is enough: the others
        // would only repeat it.
        for (int i = 0; i < kTvSenseBlankingWaits; ++i)
            if (!wait_blanking()) break;

        const unsigned short sense = ReadTVReg(kTvDacControl.index);
        WriteTVReg(kTvDacControl.index, saved_dac);
        result = kTvSenseResult[tv_dac::kSenseCode.extract(sense)];
        WriteTVReg(kTvSenseMask.index, saved_mask);
        WriteTVReg(kTvSenseLevel.index, saved_level);
    }
    write(kPageSelectB, page_b::kCommon);
    return result;
}

// ---- DAC switches ----

void TurnOnOffTVDAC(unsigned short on) {
    write(kPageSelect, page::kTvOutput);
    if (on == kSwitchOn) {
        update(kTvOutputControl, set(tv_output::kDacEnable, 1));
    } else {
        update(kTvOutputControl, set(tv_output::kDacEnable, 0));
        WriteTVReg(kTvDacControl.index,
                   ReadTVReg(kTvDacControl.index) & tv_keep_all_but(tv_dac::kDrive8, tv_dac::kDrive1));
    }
}

void TurnOnOffCRTDAC(unsigned short on) {
    write(kPageSelectB, page_b::kCrtDac);
    write(kCrtDacControl, on == kSwitchOn ? kCrtDacOn : kCrtDacOff);
    write(kPageSelectB, page_b::kCommon);
}

void TurnOnOffRAMDAC(unsigned short on) {
    constexpr auto kPowerDown =
        static_cast<std::uint8_t>(mask_of(dac_mask::kPowerDown, dac_mask::kRamdacPowerDown));
    const std::uint8_t saved = read_graphics(kDacAccess);
    kovaoutp(kGrDataPort, static_cast<std::uint8_t>(saved | dac_access::kMaskPort.mask()));
    const std::uint8_t mask = kovainp(kDacMaskPort);
    kovaoutp(kDacMaskPort,
             on == kSwitchOn ? mask & static_cast<std::uint8_t>(~kPowerDown) : mask | kPowerDown);
    kovaoutp(kGrDataPort, saved); // GR 56 is still selected
}

} // extern "C"
