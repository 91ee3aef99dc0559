// Random sequences of library calls with random arguments on a controller in
// a random state.  After every call: the capture register access put GR FA and
// GR BF back as it found them, no access left the register ports or the TV
// region of the window, every wait stopped within its bound, and the call
// returned (a watchdog names a call that does not).
//
// KOVA_PROPERTY_SEED and KOVA_PROPERTY_CALLS override the fixed seed and the
// number of calls for a long run.
#include "capture.h"
#include "misc.h"
#include "overlay.h"
#include "register_map.h"
#include "screen_registers.h"
#include "synclock_fixture.h"
#include "utility.h"

#include <csignal>
#include <cstring>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using kova::registers::Reg;
using kova::sim::Event;
namespace reg = kova::reg;

using Rng = std::mt19937_64;

// The call under way, for the watchdog.
const char *current_call = "";

void on_watchdog(int) {
    const char prefix[] = "property test: this call did not return: ";
    (void)!write(STDERR_FILENO, prefix, sizeof prefix - 1);
    (void)!write(STDERR_FILENO, current_call, std::strlen(current_call));
    (void)!write(STDERR_FILENO, "\n", 1);
    _exit(1);
}

std::uint64_t env_or(const char *name, std::uint64_t fallback) {
    const char *text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}

unsigned pick(Rng &rng, unsigned n) {
    return static_cast<unsigned>(rng() % n);
}
unsigned char u8(Rng &rng) {
    return static_cast<unsigned char>(rng());
}
unsigned short u16(Rng &rng) {
    return static_cast<unsigned short>(rng());
}
// Mostly small values, sometimes any 16 bits.
unsigned short size16(Rng &rng) {
    return pick(rng, 8) == 0 ? u16(rng) : static_cast<unsigned short>(pick(rng, 2049));
}
unsigned address(Rng &rng) {
    return pick(rng, 8) == 0 ? static_cast<unsigned>(rng()) : pick(rng, 0x400000);
}
// Any capture register but the two page selects themselves.
unsigned char cap_index(Rng &rng) {
    const unsigned char index = u8(rng);
    return index == reg::kPageSelect.at() || index == reg::kPageSelectB.at() ? 0x60 : index;
}

// Drawing stays inside the mapped 4 MiB frame buffer: a caller's duty.
bool screen_fits() {
    return static_cast<std::uint64_t>(wScreenWidth) * wScreenHeight * ((bBpp + 7) / 8) <= 0x400000;
}
unsigned short coord(Rng &rng, unsigned short limit) {
    return static_cast<unsigned short>(limit == 0 ? 0 : pick(rng, limit));
}

struct Call {
    const char *name;
    bool restores_pages; // puts back the GR FA page it found
    void (*run)(Rng &);
};

const Call kCalls[] = {
    // Capture register access and engines.
    {"Out_Capture_Reg", true, [](Rng &r) { Out_Capture_Reg(cap_index(r), u8(r)); }},
    {"Out_Capture_Reg_M", true, [](Rng &r) { Out_Capture_Reg_M(cap_index(r), u8(r), u8(r)); }},
    {"In_Capture_Reg", true, [](Rng &r) { (void)In_Capture_Reg(cap_index(r)); }},
    {"Kova_SelectCaptureIndex", false,
     [](Rng &r) { Kova_SelectCaptureIndex(static_cast<unsigned short>(pick(r, 3))); }},
    {"Kova_InitCapture", false, [](Rng &r) { Kova_InitCapture(static_cast<unsigned short>(pick(r, 2))); }},
    {"Kova_SetCapSrcWindow", false,
     [](Rng &r) { Kova_SetCapSrcWindow(size16(r), size16(r), size16(r), size16(r)); }},
    {"Kova_SetCapDstAddr", false,
     [](Rng &r) { Kova_SetCapDstAddr(address(r), size16(r), size16(r), size16(r)); }},
    {"Kova_SetCaptureScale", false,
     [](Rng &r) { Kova_SetCaptureScale(size16(r), size16(r), size16(r), size16(r), u8(r) & 1); }},
    {"Kova_CaptureOn", false, [](Rng &) { Kova_CaptureOn(); }},
    {"Kova_CaptureOff", false, [](Rng &) { Kova_CaptureOff(); }},
    {"Kova_SetCapSafeGuardAddr", false, [](Rng &r) { Kova_SetCapSafeGuardAddr(address(r)); }},
    {"Kova_CaptureCleanUp", false, [](Rng &) { Kova_CaptureCleanUp(); }},
    {"Kova_EnableDoubleBuffer", false, [](Rng &r) { Kova_EnableDoubleBuffer(u8(r) & 1); }},
    {"Kova_SetBackBuffer_addr", false, [](Rng &r) { Kova_SetBackBuffer_addr(address(r)); }},
    {"Kova_InvertFieldPolarity", false, [](Rng &r) { Kova_InvertFieldPolarity(u8(r)); }},
    {"sleep_VSync", false, [](Rng &r) { sleep_VSync(static_cast<unsigned short>(pick(r, 3))); }},
    // Overlay.
    {"Kova_SelectOverlayIndex", false,
     [](Rng &r) { Kova_SelectOverlayIndex(static_cast<unsigned short>(pick(r, 3))); }},
    {"Kova_InitOverlay", false, [](Rng &) { Kova_InitOverlay(); }},
    {"Kova_OverlayOn", false, [](Rng &) { Kova_OverlayOn(); }},
    {"Kova_OverlayOff", false, [](Rng &) { Kova_OverlayOff(); }},
    {"Kova_OverlayCleanUp", false, [](Rng &) { Kova_OverlayCleanUp(); }},
    {"Kova_SetOverlayFormat", false,
     [](Rng &r) { Kova_SetOverlayFormat(static_cast<unsigned char>(pick(r, 6))); }},
    {"Kova_SetOverlayMode", false, [](Rng &r) { Kova_SetOverlayMode(u8(r)); }},
    {"Kova_SetRGBKeyColor", false, [](Rng &r) { Kova_SetRGBKeyColor(static_cast<unsigned>(r())); }},
    {"Kova_SetOverlayWindow", false,
     [](Rng &r) { Kova_SetOverlayWindow(size16(r), size16(r), size16(r), size16(r)); }},
    {"Kova_SetOverlayScale", false,
     [](Rng &r) { Kova_SetOverlayScale(u8(r) & 1, size16(r), size16(r), size16(r), size16(r)); }},
    {"Kova_SetOverlaySrcAddr", false,
     [](Rng &r) { Kova_SetOverlaySrcAddr(address(r), size16(r), size16(r), size16(r), size16(r)); }},
    {"Kova_ChangeOverlayFIFO", false, [](Rng &) { Kova_ChangeOverlayFIFO(); }},
    {"Kova_WhichOverlayOnTop", false, [](Rng &r) { Kova_WhichOverlayOnTop(u8(r) & 1); }},
    // Queries, clocks, waits, detection, DACs.
    {"GetCurrentScreenMapSize", false,
     [](Rng &r) { (void)GetCurrentScreenMapSize(static_cast<unsigned short>(pick(r, 2))); }},
    {"GetLinearBufferPtr", false, [](Rng &) { (void)GetLinearBufferPtr(); }},
    {"GetBusWidth", false, [](Rng &) { (void)GetBusWidth(); }},
    {"GetChipID", false, [](Rng &) { (void)GetChipID(); }},
    {"GetVMemoryClock", false, [](Rng &) { (void)GetVMemoryClock(); }},
    {"GetVPixelClock", false, [](Rng &) { (void)GetVPixelClock(); }},
    {"WaitCrtVertSync", false, [](Rng &) { WaitCrtVertSync(); }},
    {"WaitCrtHoriSync", false, [](Rng &) { WaitCrtHoriSync(); }},
    {"DetectCRT", false, [](Rng &) { (void)DetectCRT(); }},
    {"DetectTV", false, [](Rng &) { (void)DetectTV(); }},
    {"TurnOnOffTVDAC", false, [](Rng &r) { TurnOnOffTVDAC(static_cast<unsigned short>(pick(r, 3))); }},
    {"TurnOnOffCRTDAC", false, [](Rng &r) { TurnOnOffCRTDAC(static_cast<unsigned short>(pick(r, 3))); }},
    {"TurnOnOffRAMDAC", false, [](Rng &r) { TurnOnOffRAMDAC(static_cast<unsigned short>(pick(r, 3))); }},
    // Sync lock, video clock, genlock mode.
    {"Kova_DoSyncLock", false,
     [](Rng &r) {
         Kova_DoSyncLock(static_cast<unsigned short>(pick(r, 3)), static_cast<unsigned short>(pick(r, 3)),
                         static_cast<unsigned short>(pick(r, 5)), u8(r) & 1);
     }},
    {"Kova_CleanupSyncLock", false, [](Rng &) { Kova_CleanupSyncLock(); }},
    {"Kova_SetVCRMode", false, [](Rng &r) { Kova_SetVCRMode(static_cast<unsigned short>(pick(r, 3))); }},
    {"Kova_GetTVMode", false, [](Rng &) { (void)Kova_GetTVMode(); }},
    {"Kova_SetTVColor", false, [](Rng &) { Kova_SetTVColor(); }},
    {"Kova_ChangeToVideoClk", false,
     [](Rng &r) {
         Kova_ChangeToVideoClk(static_cast<unsigned short>(pick(r, 3)),
                               static_cast<unsigned short>(pick(r, 3)), u8(r) & 1, u8(r) & 1,
                               static_cast<unsigned short>(pick(r, 5)));
     }},
    {"Kova_SetSyncLockGM", false,
     [](Rng &r) {
         Kova_SetSyncLockGM(static_cast<unsigned short>(pick(r, 3)), static_cast<unsigned short>(pick(r, 3)),
                            static_cast<unsigned short>(pick(r, 5)), u8(r) & 1);
     }},
    {"Kova_OutputSyncLockVideo", false,
     [](Rng &r) {
         Kova_OutputSyncLockVideo(static_cast<unsigned short>(pick(r, 2)),
                                  static_cast<unsigned short>(pick(r, 3)),
                                  static_cast<unsigned short>(pick(r, 5)), u8(r) & 1);
     }},
    {"Kova_CleanupSyncLockGM", false, [](Rng &) { Kova_CleanupSyncLockGM(); }},
    {"DACPower", false, [](Rng &r) { DACPower(static_cast<unsigned short>(pick(r, 2))); }},
    {"ResetDisplayFetch", false, [](Rng &r) { ResetDisplayFetch(static_cast<unsigned short>(pick(r, 2))); }},
    // Register primitives and the screen environment.
    {"WriteReg", false,
     [](Rng &r) {
         static constexpr unsigned short kPorts[] = {0x3CE, 0x3C4, 0x3D4};
         WriteReg(kPorts[pick(r, 3)], cap_index(r), u8(r));
     }},
    {"Out_Video_Reg_M", false, [](Rng &r) { Out_Video_Reg_M(cap_index(r), u8(r), u8(r)); }},
    {"WriteTVReg", false, [](Rng &r) { WriteTVReg(u16(r), u16(r)); }},
    {"ReadAudioRegD", false, [](Rng &r) { (void)ReadAudioRegD(u16(r)); }},
    {"kovaoutpw", false, [](Rng &r) { kovaoutpw(u16(r), u16(r)); }},
    {"SetEnvironmentVariables", false, [](Rng &) { SetEnvironmentVariables(); }},
    {"DrawLine", false,
     [](Rng &r) {
         if (!screen_fits()) return;
         DrawLine(coord(r, wScreenWidth), coord(r, wScreenHeight), coord(r, wScreenWidth),
                  coord(r, wScreenHeight), static_cast<unsigned>(r()));
     }},
    {"FillRect", false,
     [](Rng &r) {
         if (!screen_fits()) return;
         FillRect(coord(r, wScreenWidth), coord(r, wScreenHeight), coord(r, wScreenWidth),
                  coord(r, wScreenHeight), static_cast<unsigned>(r()));
     }},
};

unsigned width_of(Event::Kind kind) {
    switch (kind) {
    case Event::Kind::W8:
    case Event::Kind::R8:
        return 1;
    case Event::Kind::W16:
    case Event::Kind::R16:
        return 2;
    case Event::Kind::W32:
    case Event::Kind::R32:
        return 4;
    default:
        return 0;
    }
}

// What the waits may read in a row from one port: a capture sync wait reads
// at most 100,001 times in each of its two phases, and with its status bit
// stuck one phase runs to that bound while the other ends at its first read;
// the retrace waits of a whole sync lock, each over within a frame of
// the free-running raster (8 reads), where a wait on the wrong bit would run
// on to its bound of a million reads.
constexpr unsigned long kGrDataReadsInARow = 100001 + 1;
constexpr unsigned long kStatusReadsInARow = 1000;

class Property : public SyncLockTest {
  protected:
    // A random state: every register of the current pages, the two page
    // selects, a screen mode that fits the frame buffer, and now and then a
    // sync-status or capture-status bit that never changes.
    void randomise(Rng &rng) {
        for (unsigned i = 0; i < 256; ++i) {
            sim.set(Reg::gr(static_cast<std::uint8_t>(i)), u8(rng));
            sim.set(Reg::sr(static_cast<std::uint8_t>(i)), u8(rng));
            sim.set(Reg::cr(static_cast<std::uint8_t>(i)), u8(rng));
        }
        static constexpr ScreenRegisters kModes[] = {k640x480x16, k800x600x16, k1024x768x24};
        set_screen(sim, kModes[pick(rng, 3)]);
        sim.set(Reg::gr(reg::kApertureBase.at()), 0xE0);
        switch (pick(rng, 16)) {
        case 0:
            sim.stick_bits(Reg::gr(0x43, reg::page::kSyncStatus), 0x80, 0x00);
            break;
        case 1:
            sim.stick_bits(Reg::gr(0x43, reg::page::kSyncStatus), 0x80, 0x80);
            break;
        case 2:
            sim.stick_bits(Reg::gr(0xE5, reg::page::kCommon), 0x02, 0x00);
            break;
        default:
            break;
        }
        SetEnvironmentVariables();
    }

    // The invariants over the accesses of one call.
    void check_accesses(std::size_t from, const Call &call) {
        const auto &events = sim.events();
        unsigned long gr_data_run = 0, status_run = 0;
        for (std::size_t i = from; i < events.size(); ++i) {
            const Event &e = events[i];
            if (const unsigned width = width_of(e.kind); width != 0) {
                const bool ports = e.address + width <= 0x10000;
                const bool tv = e.address >= 0xB0000 && e.address + width <= 0xC0000 + 2;
                ASSERT_TRUE(ports || tv)
                    << call.name << ": access at window offset " << std::hex << e.address;
            } else {
                ASSERT_NE(e.kind, Event::Kind::Out8) << call.name << ": direct port write";
            }
            const bool read8 = e.kind == Event::Kind::R8;
            gr_data_run = read8 && e.address == reg::kGrData.index ? gr_data_run + 1 : 0;
            status_run = read8 && e.address == reg::kInputStatus.index ? status_run + 1 : 0;
            ASSERT_LE(gr_data_run, kGrDataReadsInARow) << call.name << ": a capture wait overran its bound";
            ASSERT_LE(status_run, kStatusReadsInARow) << call.name << ": a retrace wait did not end";
        }
    }
};

TEST_F(Property, RandomCallSequencesKeepTheInvariants) {
    const std::uint64_t seed = env_or("KOVA_PROPERTY_SEED", 20261208);
    const std::uint64_t calls = env_or("KOVA_PROPERTY_CALLS", 5000);
    constexpr std::uint64_t kCallsPerSequence = 40;
    RecordProperty("seed", std::to_string(seed));
    Rng rng(seed);
    std::signal(SIGALRM, on_watchdog);

    std::uint64_t made = 0;
    while (made < calls) {
        sim.reset();
        reset_module_state();
        map();
        randomise(rng);
        sim.clear_trace();
        for (std::uint64_t n = 0; n < kCallsPerSequence && made < calls; ++n, ++made) {
            const Call &call = kCalls[pick(rng, std::size(kCalls))];
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", call " << made << ": " << call.name);
            const std::uint8_t fa = sim.page_fa(), bf = sim.page_bf();
            const std::size_t from = sim.events().size();
            current_call = call.name;
            alarm(30);
            call.run(rng);
            alarm(0);
            if (call.restores_pages) {
                ASSERT_EQ(sim.page_fa(), fa);
                ASSERT_EQ(sim.page_bf(), bf);
            }
            check_accesses(from, call);
            if (HasFatalFailure()) break;
        }
        if (HasFatalFailure()) break;
    }
    std::signal(SIGALRM, SIG_DFL);
    std::printf("property test: seed %llu, %llu calls\n", static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(made));
}

} // namespace
