// utility: screen and memory queries, clock readout, sync waits, display
// detection and DAC switches.
#include "utility.h"

#include "misc.h"
#include "portmem.h"
#include "screen_mode.h"
#include "status_poll.h"

#include <cstdint>
#include "vga_ports.h"

namespace {

using namespace kova::vga;

using kova::screen::kCrIndexPort;
using kova::screen::kGrDataPort;
using kova::screen::kGrIndexPort;

// Memory and chip identity.
constexpr std::uint8_t kGrApertureBase = 0x35; // physical address bits 31..24
constexpr std::uint8_t kGrMemoryConfig = 0x72; // bits 1..0: size code, bit 2: bus width
constexpr std::uint8_t kGrChipRevision = 0x91; // bits 7..4 tested before the identifier
constexpr std::uint8_t kGrChipId = 0x92;
constexpr std::uint16_t kLastEarlierGeneration = 7;
constexpr unsigned short kNoChipId = 0xFFFF;

// Clock synthesisers and the clock selection.
constexpr std::uint16_t kMiscOutputRead = 0x3CC; // bits 3..2: pixel clock selection
constexpr std::uint8_t kGrPixelClockN = 0xB0;
constexpr std::uint8_t kGrPixelClockM = 0xB1;
constexpr std::uint8_t kGrPixelClockHigh = 0xBA;
constexpr std::uint8_t kGrMemoryClockN = 0xB2;
constexpr std::uint8_t kGrMemoryClockM = 0xB3;
constexpr std::uint8_t kGrMemoryClockHigh = 0xBB;
constexpr double kEarlierReference = 1431818.0; // 14.31818 MHz in 10 Hz units
constexpr double kLaterReference = 2457600.0;   // 24.576 MHz in 10 Hz units
constexpr double kTenHzPerMHz = 100000.0;
constexpr double kFixedClock0 = 25.175;
constexpr double kFixedClock1 = 28.322;

// Input status.
constexpr std::uint8_t kVerticalRetrace = 0x08;
constexpr std::uint8_t kDisplayBlanked = 0x01;

// Bank selects and the registers behind them.
constexpr std::uint8_t kGrBankBF = 0xBF;
constexpr std::uint8_t kGrBankFA = 0xFA;
constexpr std::uint8_t kBankCommon = 0x00;
constexpr std::uint8_t kBankTvSense = 0x01;  // GR B1 bit 2: TV sensing possible
constexpr std::uint8_t kBankCrtDac = 0x02;   // GR B1: CRT DAC control
constexpr std::uint8_t kBankCrtSense = 0x40; // GR BE bits 6..5: CRT sense code
constexpr std::uint8_t kBankTvDac = 0x05;    // GR 4E bit 2: TV DAC enable
constexpr std::uint8_t kGrB1 = 0xB1;
constexpr std::uint8_t kGrCrtSense = 0xBE;
constexpr std::uint8_t kGrTvDac = 0x4E;
constexpr std::uint8_t kTvSenseCapable = 0x04;
constexpr std::uint8_t kTvDacEnable = 0x04;
constexpr std::uint8_t kCrtDacOn = 0x00;
constexpr std::uint8_t kCrtDacOff = 0x3F;

// TV encoder registers used for sensing and the TV DAC.
constexpr std::uint16_t kTvDacControl = 0xE430; // bits 7..6 read: sense code
constexpr std::uint16_t kTvSenseE4FC = 0xE4FC;
constexpr std::uint16_t kTvSenseE500 = 0xE500;
constexpr std::uint16_t kTvSenseDrive = 0x0003;
constexpr std::uint16_t kTvSenseAll = 0xFFFF;
constexpr std::uint16_t kTvSenseLevelLater = 0x3FFF;
constexpr std::uint16_t kTvSenseLevelEarlier = 0x00FF;
constexpr std::uint16_t kTvDacKeep = 0xFEFD; // off clears bits 8 and 1
constexpr int kTvSenseBlankingWaits = 3;

// RAMDAC power-down through the DAC mask port, reachable with GR 56 bit 2 set.
constexpr std::uint8_t kGrDacAccess = 0x56;
constexpr std::uint8_t kDacAccessEnable = 0x04;
constexpr std::uint16_t kDacMask = 0x3C6;
constexpr std::uint8_t kRamDacPowerDown = 0x41; // bits 6 and 0

constexpr unsigned short kSwitchOn = 1;

std::uint8_t read_graphics(std::uint8_t index) {
    return ReadReg(kGrIndexPort, index);
}

bool later_generation() {
    return GetChipID() > kLastEarlierGeneration;
}

// Waits for the next rising edge of a bit of port 0x3DA: while it is set,
// then while it is clear.  Each half is bounded; false after a timeout (the
// warning line has been printed and the second half is not started).
bool wait_for_status_edge(const char *wait_name, std::uint8_t bit) {
    const auto read = [] { return kovainp(kInputStatusPort); };
    if (!kova::poll_status(wait_name, read, [bit](std::uint8_t status) { return (status & bit) == 0; }))
        return false;
    return kova::poll_status(wait_name, read, [bit](std::uint8_t status) { return (status & bit) != 0; });
}

bool wait_blanking() {
    return wait_for_status_edge("WaitCrtHoriSync", kDisplayBlanked);
}

unsigned short crt_sense_result(unsigned code) {
    switch (code) {
    case 2:
        return 1;
    case 3:
        return 0;
    default:
        return 0xFFFF;
    }
}

unsigned short tv_sense_result(unsigned code) {
    switch (code) {
    case 0:
        return 0xFFFF;
    case 1:
        return 1;
    case 2:
        return 0;
    default:
        return 2;
    }
}

} // namespace

extern "C" {

// ---- Screen and memory queries ----

unsigned short GetCurrentScreenInfo(unsigned short which) {
    using namespace kova::screen;
    const std::uint8_t cr01 = ReadReg(kCrIndexPort, kCrHorizontalDisplayEnd);
    const std::uint8_t cr07 = ReadReg(kCrIndexPort, kCrOverflow);
    const std::uint8_t cr12 = ReadReg(kCrIndexPort, kCrVerticalDisplayEnd);
    const std::uint8_t cr53 = ReadReg(kCrIndexPort, kCrExtendedHorizontal);
    const std::uint8_t gr11 = read_graphics(kGrExtendedVertical);
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
    return static_cast<unsigned int>(read_graphics(kGrApertureBase)) << 24;
}

unsigned short GetBpp(void) {
    return kova::screen::bits_per_pixel(read_graphics(kova::screen::kGrPixelDepth));
}

unsigned short GetVMemSize(void) {
    const unsigned code = read_graphics(kGrMemoryConfig) & 0x03;
    return static_cast<unsigned short>(code == 0 ? 1 : 2 * code);
}

unsigned short GetBusWidth(void) {
    return (read_graphics(kGrMemoryConfig) >> 2) & 0x01;
}

unsigned short GetChipID(void) {
    if ((read_graphics(kGrChipRevision) & 0xF0) == 0) {
        // GR 91 is still selected: read its data port once more.
        if ((kovainp(kGrDataPort) & 0xF0) == 0xF0) return kNoChipId;
    }
    return read_graphics(kGrChipId);
}

// ---- Clock readout ----

double CalculateClock(unsigned char n, unsigned char m, unsigned char h) {
    const double feedback = n + 256.0 * (h & 0x07);
    const double reference_divider = (m & 0x1F) + 4.0 * (h & 0x38);

    double reference;
    double post_divider;
    if (later_generation()) {
        static constexpr double kLaterDivisors[] = {1, 2, 4, 6, 8};
        const unsigned code = (m >> 6) | ((h & 0x40) >> 4);
        if (code >= sizeof kLaterDivisors / sizeof kLaterDivisors[0]) return KOVA_CLOCK_NO_DIVISOR;
        reference = kLaterReference;
        post_divider = kLaterDivisors[code];
    } else {
        static constexpr double kEarlierDivisors[] = {1, 2, 4, 8};
        reference = kEarlierReference;
        post_divider = kEarlierDivisors[m >> 6];
    }
    return reference * (feedback + 1) / (post_divider * (reference_divider + 1)) / kTenHzPerMHz;
}

double GetVMemoryClock(void) {
    const std::uint8_t n = read_graphics(kGrMemoryClockN);
    const std::uint8_t m = read_graphics(kGrMemoryClockM);
    const std::uint8_t h = read_graphics(kGrMemoryClockHigh);
    return CalculateClock(n, m, h);
}

double GetVPixelClock(void) {
    switch ((kovainp(kMiscOutputRead) >> 2) & 0x03) {
    case 0:
        return kFixedClock0;
    case 1:
        return kFixedClock1;
    case 2:
        return KOVA_CLOCK_NONE;
    default: {
        const std::uint8_t n = read_graphics(kGrPixelClockN);
        const std::uint8_t m = read_graphics(kGrPixelClockM);
        const std::uint8_t h = read_graphics(kGrPixelClockHigh);
        return CalculateClock(n, m, h);
    }
    }
}

// ---- Sync waits ----

void WaitCrtVertSync(void) {
    (void)wait_for_status_edge("WaitCrtVertSync", kVerticalRetrace);
}

void WaitCrtHoriSync(void) {
    (void)wait_blanking();
}

// ---- Display detection ----

unsigned short DetectCRT(void) {
    Out_Video_Reg(kGrBankBF, kBankCrtSense);
    const unsigned short result = crt_sense_result((read_graphics(kGrCrtSense) >> 5) & 0x03);
    Out_Video_Reg(kGrBankBF, kBankCommon);
    return result;
}

unsigned short DetectTV(void) {
    Out_Video_Reg(kGrBankBF, kBankTvSense);
    unsigned short result = 0;
    if ((read_graphics(kGrB1) & kTvSenseCapable) != 0) {
        const unsigned short saved_e4fc = ReadTVReg(kTvSenseE4FC);
        const unsigned short saved_e500 = ReadTVReg(kTvSenseE500);
        const unsigned short saved_e430 = ReadTVReg(kTvDacControl);
        WriteTVReg(kTvDacControl, kTvSenseDrive);
        WriteTVReg(kTvSenseE4FC, kTvSenseAll);
        WriteTVReg(kTvSenseE500, later_generation() ? kTvSenseLevelLater : kTvSenseLevelEarlier);

        // With the timing stopped one timed-out wait is enough: the others
        // would only repeat it.
        for (int i = 0; i < kTvSenseBlankingWaits; ++i)
            if (!wait_blanking()) break;

        const unsigned short sense = ReadTVReg(kTvDacControl);
        WriteTVReg(kTvDacControl, saved_e430);
        result = tv_sense_result((sense >> 6) & 0x03);
        WriteTVReg(kTvSenseE4FC, saved_e4fc);
        WriteTVReg(kTvSenseE500, saved_e500);
    }
    Out_Video_Reg(kGrBankBF, kBankCommon);
    return result;
}

// ---- DAC switches ----

void TurnOnOffTVDAC(unsigned short on) {
    Out_Video_Reg(kGrBankFA, kBankTvDac);
    if (on == kSwitchOn) {
        Out_Video_Reg_M(kGrTvDac, kTvDacEnable, static_cast<std::uint8_t>(~kTvDacEnable));
    } else {
        Out_Video_Reg_M(kGrTvDac, 0x00, static_cast<std::uint8_t>(~kTvDacEnable));
        WriteTVReg(kTvDacControl, ReadTVReg(kTvDacControl) & kTvDacKeep);
    }
}

void TurnOnOffCRTDAC(unsigned short on) {
    Out_Video_Reg(kGrBankBF, kBankCrtDac);
    Out_Video_Reg(kGrB1, on == kSwitchOn ? kCrtDacOn : kCrtDacOff);
    Out_Video_Reg(kGrBankBF, kBankCommon);
}

void TurnOnOffRAMDAC(unsigned short on) {
    const std::uint8_t saved = read_graphics(kGrDacAccess);
    kovaoutp(kGrDataPort, saved | kDacAccessEnable);
    const std::uint8_t mask = kovainp(kDacMask);
    kovaoutp(kDacMask,
             on == kSwitchOn ? mask & static_cast<std::uint8_t>(~kRamDacPowerDown) : mask | kRamDacPowerDown);
    kovaoutp(kGrDataPort, saved); // GR 56 is still selected
}

} // extern "C"
