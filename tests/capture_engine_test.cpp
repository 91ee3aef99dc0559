// Capture engines: bank-framed register access, engine selection, the bounded
// vertical-sync wait, and set-up and control of the current engine.
#include "capture.h"
#include "misc.h"
#include "sim_fixture.h"

#include <cstdio>
#include <string>
#include <utility>

namespace {

using kova::sim::Reg;

constexpr std::uint8_t kBank1 = 0x80;
constexpr int kSyncPage = 0x03;
const std::string kSyncWarning = "Warning: Dead Loop while capture on\n";
const std::string kStopWarning = "Warning: Dead loop while capture off\n";

std::string line(const char *kind, unsigned port, unsigned value, int digits = 2) {
    char text[32];
    std::snprintf(text, sizeof text, "%s %05X %0*X", kind, port, digits, value);
    return text;
}

// Builds an expected trace from the register sequences the library performs.
struct Expect {
    Lines lines;

    Expect &w8(unsigned port, unsigned value) { return add(line("w8", port, value)); }
    Expect &r8(unsigned port, unsigned value) { return add(line("r8", port, value)); }
    Expect &w16(unsigned port, unsigned value) { return add(line("w16", port, value, 4)); }
    Expect &reads(unsigned port, unsigned value, unsigned count) {
        for (unsigned i = 0; i < count; ++i)
            r8(port, value);
        return *this;
    }
    // WriteReg / ReadReg / masked write on the pair at port, port + 1.
    Expect &put(unsigned port, unsigned index, unsigned value) { return w8(port, index).w8(port + 1, value); }
    Expect &get(unsigned port, unsigned index, unsigned value) { return w8(port, index).r8(port + 1, value); }
    Expect &masked(unsigned port, unsigned index, unsigned old, unsigned now) {
        return get(port, index, old).w8(port + 1, now);
    }
    Expect &gr(unsigned index, unsigned value) { return put(0x3CE, index, value); }
    Expect &gr_m(unsigned index, unsigned old, unsigned now) { return masked(0x3CE, index, old, now); }
    Expect &sr_m(unsigned index, unsigned old, unsigned now) { return masked(0x3C4, index, old, now); }
    // A framed capture-register write: bank found, engine bank, access, bank back.
    Expect &cap(unsigned found, unsigned bank, unsigned index, unsigned value) {
        return get(0x3CE, 0xFA, found).w8(0x3CF, bank).gr(index, value).gr(0xFA, found);
    }
    Expect &cap_m(unsigned found, unsigned bank, unsigned index, unsigned old, unsigned now) {
        return get(0x3CE, 0xFA, found).w8(0x3CF, bank).gr_m(index, old, now).gr(0xFA, found);
    }
    // One WaitVSync on the power-on raster phase: five misses, the sync, its end.
    Expect &vsync_on_raster() {
        return w16(0x3CE, 0x03FA)
            .w8(0x3CE, 0x43)
            .reads(0x3CF, 0x00, 5)
            .reads(0x3CF, 0x80, 2)
            .r8(0x3CF, 0x00)
            .w16(0x3CE, 0x00FA);
    }
    Expect &add(std::string text) {
        lines.push_back(std::move(text));
        return *this;
    }
};

class Capture : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        map();
        wMaxCaptureNum = 2;
        Kova_SelectCaptureIndex(0);
    }

    // Runs body with standard output captured and returns what it printed.
    template <typename Body>
    std::string printed(Body body) {
        testing::internal::CaptureStdout();
        body();
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }

    // The trace of a WaitVSync whose two phases read these status values.
    static Lines vsync_trace(unsigned misses_before, unsigned set_reads, unsigned clear_reads) {
        Expect e;
        e.w16(0x3CE, 0x03FA).w8(0x3CE, 0x43).reads(0x3CF, 0x00, misses_before).reads(0x3CF, 0x80, set_reads);
        e.reads(0x3CF, 0x00, clear_reads).w16(0x3CE, 0x00FA);
        return e.lines;
    }
};

// ---------------------------------------------------------------- framing and selection

TEST_F(Capture, FramedWriteOnEngine1PutsBackTheBankItFound) {
    Kova_SelectCaptureIndex(1);
    sim.set(Reg::gr(0xFA), 0x05);
    Out_Capture_Reg(0x60, 0x12);
    EXPECT_EQ(trace(), (Lines{"w8 003CE FA", "r8 003CF 05", "w8 003CF 80", "w8 003CE 60", "w8 003CF 12",
                              "w8 003CE FA", "w8 003CF 05"}));
    EXPECT_EQ(sim.get(Reg::gr(0x60, kBank1)), 0x12);
    EXPECT_EQ(sim.get(Reg::gr(0x60, 0x05)), 0x00);
    EXPECT_EQ(sim.page_fa(), 0x05);
    EXPECT_EQ(sim.get(Reg::port(0x3CE)), 0xFA);
}

TEST_F(Capture, FramedAccessOnEngine0UsesBank0) {
    sim.set(Reg::gr(0xFA), 0x03);
    sim.set(Reg::gr(0xEA, 0x00), 0x5A);
    // value OR (old AND keep): value is not masked with NOT keep.
    Out_Capture_Reg_M(0xEA, 0x81, 0xF0);
    EXPECT_EQ(In_Capture_Reg(0xEA), 0xD1u);
    EXPECT_EQ(trace(), Expect{}
                           .cap_m(0x03, 0x00, 0xEA, 0x5A, 0xD1)
                           .get(0x3CE, 0xFA, 0x03)
                           .w8(0x3CF, 0x00)
                           .get(0x3CE, 0xEA, 0xD1)
                           .gr(0xFA, 0x03)
                           .lines);
    EXPECT_EQ(sim.page_fa(), 0x03);
}

TEST_F(Capture, SelectionFallsBackToEngine0AndTouchesNoRegister) {
    Kova_SelectCaptureIndex(1);
    EXPECT_EQ(Kova_GetCaptureIndex(), 1u);
    Kova_SelectCaptureIndex(2);
    EXPECT_EQ(Kova_GetCaptureIndex(), 0u);
    Kova_SelectCaptureIndex(1);
    Kova_SelectCaptureIndex(0xFFFF);
    EXPECT_EQ(wCaptureIndex, 0);
    EXPECT_TRUE(trace().empty());
}

// ---------------------------------------------------------------- vertical-sync wait

TEST_F(Capture, WaitVSyncFollowsTheRasterAndLeavesBank0) {
    sim.set(Reg::gr(0xFA), 0x05);
    EXPECT_EQ(printed([] { WaitVSync(); }), "");
    EXPECT_EQ(trace(), vsync_trace(5, 2, 1));
    EXPECT_EQ(sim.page_fa(), 0x00);
}

TEST_F(Capture, WaitVSyncWithTheBitStuckAt0) {
    sim.stick_bits(Reg::gr(0x43, kSyncPage), 0x80, 0x00);
    EXPECT_EQ(printed([] { WaitVSync(); }), kSyncWarning);
    // 100,001 misses in the first phase, then the second phase ends at once.
    EXPECT_EQ(trace(), vsync_trace(100001 + 1, 0, 0));
    EXPECT_EQ(sim.page_fa(), 0x00);
}

TEST_F(Capture, WaitVSyncWithTheBitStuckAt1) {
    sim.stick_bits(Reg::gr(0x43, kSyncPage), 0x80, 0x80);
    EXPECT_EQ(printed([] { WaitVSync(); }), kSyncWarning);
    EXPECT_EQ(trace(), vsync_trace(0, 1 + 100001, 0));
}

TEST_F(Capture, WaitVSyncWarnsOncePerPhaseWhenBothTimeOut) {
    sim.on_read(Reg::gr(0x43, kSyncPage),
                [](std::uint16_t, std::uint64_t n) -> std::uint16_t { return n <= 100001 ? 0x00 : 0x80; });
    EXPECT_EQ(printed([] { WaitVSync(); }), kSyncWarning + kSyncWarning);
    EXPECT_EQ(trace(), vsync_trace(100001, 100001, 0));
}

TEST_F(Capture, WaitVSyncWarnsFromTheHundredThousandthRead) {
    // The sync shows on read number `at` only.
    const auto sync_on_read = [this](std::uint64_t at) {
        sim.on_read(Reg::gr(0x43, kSyncPage),
                    [at](std::uint16_t, std::uint64_t n) -> std::uint16_t { return n == at ? 0x80 : 0x00; });
    };
    sync_on_read(99999); // 99,998 misses: no warning
    EXPECT_EQ(printed([] { WaitVSync(); }), "");
    EXPECT_EQ(trace(), vsync_trace(99998, 1, 1));

    sim.clear_read_scripts();
    sim.clear_trace();
    sync_on_read(100000); // 99,999 misses: warned although the sync was seen
    EXPECT_EQ(printed([] { WaitVSync(); }), kSyncWarning);
    EXPECT_EQ(trace(), vsync_trace(99999, 1, 1));
}

TEST_F(Capture, SleepVSyncRunsTheWholeWaitCountTimes) {
    sleep_VSync(0);
    EXPECT_TRUE(trace().empty());
    sleep_VSync(2);
    EXPECT_EQ(trace(), Expect{}.vsync_on_raster().vsync_on_raster().lines);
}

// ---------------------------------------------------------------- set-up

TEST_F(Capture, InitCaptureOnEngine0) {
    sim.set(Reg::gr(0xBA, 0x01), 0x02);
    sim.set(Reg::sr(0xA2), 0xFF);
    sim.set(Reg::gr(0xB5), 0x7C);
    sim.set(Reg::sr(0xA4), 0xFF);
    sim.set(Reg::gr(0xE8, 0x00), 0x92);
    sim.set(Reg::sr(0xEF), 0xFF);
    sim.set(Reg::sr(0xA0), 0xFF);
    sim.set(Reg::sr(0xED), 0xFF);
    sim.set(Reg::sr(0xA5), 0x3F);
    sim.set(Reg::gr(0xFA), 0x05);
    Kova_InitCapture(1);

    Expect e;
    e.gr(0xBF, 0x01)
        .gr_m(0xBA, 0x02, 0x82)
        .gr_m(0xBA, 0x82, 0x80)
        .gr_m(0xBB, 0x00, 0x02)
        .gr_m(0xBB, 0x02, 0x06);
    e.gr(0xBF, 0x00).gr(0xFA, 0x00).sr_m(0xA2, 0xFF, 0xFB).gr_m(0xB5, 0x7C, 0xFF).gr(0xE9, 0x10);
    e.w16(0x3CE, 0x13A4).w16(0x3CE, 0x12A5).get(0x3C4, 0xA4, 0xFF).put(0x3C4, 0xA4, 0xEE);
    e.gr_m(0xE9, 0x10, 0x10).gr_m(0xA5, 0x12, 0x12).gr_m(0xE8, 0x92, 0xFF);
    e.sr_m(0xEF, 0xFF, 0xFD).sr_m(0xA0, 0xFF, 0x7F).sr_m(0xED, 0xFF, 0xEF);
    e.cap(0, 0, 0x68, 0x00).cap(0, 0, 0x69, 0x08).cap(0, 0, 0x6C, 0x00).cap(0, 0, 0x6D, 0x08);
    e.gr(0xFA, 0x00).gr(0x88, 0x3F).gr(0x89, 0xC0).gr_m(0xA4, 0x13, 0x13);
    e.sr_m(0xA3, 0x00, 0xC0).sr_m(0xA5, 0x3F, 0xFF);
    EXPECT_EQ(trace(), e.lines);
    EXPECT_EQ(sim.page_bf(), 0x00);
    EXPECT_EQ(sim.page_fa(), 0x00);
}

TEST_F(Capture, InitCaptureOnEngine1WithMode0) {
    Kova_SelectCaptureIndex(1);
    sim.set(Reg::gr(0xEA, 0x00), 0xFF);
    sim.set(Reg::gr(0xEA, kBank1), 0xFF);
    sim.set(Reg::sr(0xA4), 0x42);
    sim.set(Reg::sr(0xEF), 0x41);
    sim.set(Reg::sr(0xA0), 0x15);
    sim.set(Reg::sr(0xED), 0x81);
    Kova_InitCapture(0);

    // Mode 0 writes no GR A5 bit 0; engine 1 is routed and its file reached in bank 0x80.
    Expect e;
    e.gr(0xBF, 0x01)
        .gr_m(0xBA, 0x00, 0x80)
        .gr_m(0xBA, 0x80, 0x80)
        .gr_m(0xBB, 0x00, 0x02)
        .gr_m(0xBB, 0x02, 0x06);
    e.gr(0xBF, 0x00).gr(0xFA, 0x00).sr_m(0xA2, 0x00, 0x00).gr_m(0xB5, 0x00, 0x83).gr(0xE9, 0x10);
    e.w16(0x3CE, 0x10A4).w16(0x3CE, 0x10A5).get(0x3C4, 0xA4, 0x42).put(0x3C4, 0xA4, 0x53);
    e.gr_m(0xE9, 0x10, 0x30).gr_m(0xE8, 0x00, 0x6D);
    e.sr_m(0xEF, 0x41, 0x43).sr_m(0xA0, 0x15, 0x95).sr_m(0xED, 0x81, 0x91).gr_m(0xEA, 0xFF, 0x22);
    e.cap(0, kBank1, 0x68, 0x00)
        .cap(0, kBank1, 0x69, 0x08)
        .cap(0, kBank1, 0x6C, 0x00)
        .cap(0, kBank1, 0x6D, 0x08);
    e.gr(0xFA, 0x00).gr(0x88, 0x3F).gr(0x89, 0xC0).gr_m(0xA4, 0x10, 0x11);
    e.sr_m(0xA3, 0x00, 0xC0).sr_m(0xA5, 0x00, 0xC0);
    EXPECT_EQ(trace(), e.lines);
    EXPECT_EQ(sim.get(Reg::sr(0xEF)), 0x43);
    EXPECT_EQ(sim.get(Reg::sr(0xA0)), 0x95);
    EXPECT_EQ(sim.get(Reg::sr(0xED)), 0x91);
    EXPECT_EQ(sim.get(Reg::gr(0xEA, 0x00)), 0x22); // the common GR EA, not the engine's
    EXPECT_EQ(sim.get(Reg::gr(0xEA, kBank1)), 0xFF);
    EXPECT_EQ(sim.get(Reg::gr(0x69, kBank1)), 0x08); // engine 1's file
    EXPECT_EQ(sim.get(Reg::gr(0x6D, kBank1)), 0x08);
    EXPECT_EQ(sim.get(Reg::gr(0x69, 0x00)), 0x00);
    EXPECT_EQ(sim.get(Reg::sr(0xA4)), 0x53);
    EXPECT_EQ(sim.get(Reg::gr(0xA4)), 0x11);
    EXPECT_EQ(sim.get(Reg::gr(0xA5)), 0x10);
    EXPECT_EQ(sim.get(Reg::gr(0xE9, 0x00)), 0x30); // inverted field polarity
    EXPECT_EQ(sim.get(Reg::gr(0xE8, 0x00)), 0x6D);
}

TEST_F(Capture, SourceWindow) {
    Kova_SetCapSrcWindow(0, 720, 0, 288);
    EXPECT_EQ(trace(), Expect{}
                           .cap(0, 0, 0x60, 0x01)
                           .cap(0, 0, 0x61, 0x00)
                           .cap(0, 0, 0x62, 0xA2)
                           .cap(0, 0, 0x63, 0x05)
                           .cap(0, 0, 0x64, 0x00)
                           .cap(0, 0, 0x65, 0x00)
                           .cap(0, 0, 0x66, 0x20)
                           .cap(0, 0, 0x67, 0x01)
                           .lines);
}

TEST_F(Capture, DestinationAddressHoldsTheEngineAndPutsBit2Back) {
    sim.set(Reg::gr(0xFA), 0x05);
    sim.set(Reg::gr(0xE8, 0x00), 0x69);
    Kova_SetCapDstAddr(1536 * 1024, 0, 0, 720);
    Expect e;
    e.gr(0xFA, 0x00).get(0x3CE, 0xE8, 0x69).gr_m(0xE8, 0x69, 0x6D);
    e.cap(0, 0, 0xEB, 0x00).cap(0, 0, 0xEC, 0x00).cap(0, 0, 0xED, 0x06).cap(0, 0, 0xEE, 0xB4);
    e.gr_m(0xE8, 0x6D, 0x69);
    EXPECT_EQ(trace(), e.lines);

    // Bit 2 already set stays set; the other bits are preserved.
    sim.set(Reg::gr(0xE8, 0x00), 0x84);
    Kova_SetCapDstAddr(0, 0, 0, 0);
    EXPECT_EQ(sim.get(Reg::gr(0xE8, 0x00)), 0x84);
}

TEST_F(Capture, DestinationAddressArithmeticAndPitchWrap) {
    // (0x100000 + 2 * (10 + 2 * 1024)) / 4 = 0x40405; pitch 1024 wraps to 0.
    Kova_SetCapDstAddr(0x100000, 10, 2, 1024);
    EXPECT_EQ(sim.get(Reg::gr(0xEB, 0x00)), 0x05);
    EXPECT_EQ(sim.get(Reg::gr(0xEC, 0x00)), 0x04);
    EXPECT_EQ(sim.get(Reg::gr(0xED, 0x00)), 0x04);
    EXPECT_EQ(sim.get(Reg::gr(0xEE, 0x00)), 0x00);
    // Only address bits 16-19 (in 4-byte units) reach CAP ED; odd bytes truncate.
    Kova_SelectCaptureIndex(1);
    Kova_SetCapDstAddr(0x5ABCDF, 0, 0, 1023); // 0x16AF37
    EXPECT_EQ(sim.get(Reg::gr(0xEB, kBank1)), 0x37);
    EXPECT_EQ(sim.get(Reg::gr(0xEC, kBank1)), 0xAF);
    EXPECT_EQ(sim.get(Reg::gr(0xED, kBank1)), 0x06);
    EXPECT_EQ(sim.get(Reg::gr(0xEE, kBank1)), 0xFF);
}

TEST_F(Capture, ScaleWithFieldHalving) {
    sim.set(Reg::gr(0xEA, 0x00), 0xF5);
    sim.set(Reg::gr(0xEF), 0xFF);
    Kova_SetCaptureScale(720, 720, 288, 576, 1);
    Expect e;
    e.cap_m(0, 0, 0xEA, 0xF5, 0xF7).gr_m(0xEF, 0xFF, 0xFB);
    e.cap(0, 0, 0x6A, 0x00).cap(0, 0, 0x6B, 0x10).cap(0, 0, 0x6E, 0x00).cap(0, 0, 0x6F, 0x10);
    EXPECT_EQ(trace(), e.lines);
}

TEST_F(Capture, ScaleWithoutFieldHalving) {
    sim.set(Reg::gr(0xEA, 0x00), 0xFF);
    Kova_SetCaptureScale(720, 360, 288, 288, 0);
    Expect e;
    e.cap_m(0, 0, 0xEA, 0xFF, 0xFD).gr_m(0xEF, 0x00, 0x04);
    e.cap(0, 0, 0x6A, 0x00).cap(0, 0, 0x6B, 0x08).cap(0, 0, 0x6E, 0x00).cap(0, 0, 0x6F, 0x10);
    EXPECT_EQ(trace(), e.lines);
}

TEST_F(Capture, ScaleFactorsTruncateAndSurviveAZeroSource) {
    const auto factors = [this] {
        return std::pair{sim.get(Reg::gr(0x6B, 0x00)) << 8 | sim.get(Reg::gr(0x6A, 0x00)),
                         sim.get(Reg::gr(0x6F, 0x00)) << 8 | sim.get(Reg::gr(0x6E, 0x00))};
    };
    Kova_SetCaptureScale(720, 704, 288, 575, 1); // 4004.9 and 287 * 4096 / 288 = 4081.8
    EXPECT_EQ(factors(), std::pair(0x0FA4, 0x0FF1));
    Kova_SetCaptureScale(0, 720, 0, 576, 1); // no source: 1:1, and no crash
    EXPECT_EQ(factors(), std::pair(0x1000, 0x1000));
    Kova_SetCaptureScale(360, 720, 1, 3, 1); // field height 1 of 1 line
    EXPECT_EQ(factors(), std::pair(0x2000, 0x1000));
    Kova_SetCaptureScale(40, 720, 10, 400, 0); // 0x12000 and 0x28000 keep their low 16 bits
    EXPECT_EQ(factors(), std::pair(0x2000, 0x8000));
}

// ---------------------------------------------------------------- control

TEST_F(Capture, CaptureOnReleasesTheHoldAfterTwoSyncs) {
    sim.set(Reg::gr(0xFA), 0x05);
    sim.set(Reg::gr(0xE8, 0x00), 0x9C); // held, bits 7 and 4 to be kept
    EXPECT_EQ(printed([] { Kova_CaptureOn(); }), "");
    Expect e;
    e.gr(0xDE, 0x01).gr(0xFA, 0x00).gr_m(0xE8, 0x9C, 0xFD).vsync_on_raster().vsync_on_raster();
    e.gr(0xFA, 0x00).gr_m(0xE8, 0xFD, 0xF1);
    EXPECT_EQ(trace(), e.lines);
    EXPECT_EQ(sim.get(Reg::gr(0xDE)), 0x01);
}

TEST_F(Capture, CaptureOffWithTheEngineAlreadyStopped) {
    sim.set(Reg::gr(0xE8, 0x00), 0x65);
    EXPECT_EQ(printed([] { Kova_CaptureOff(); }), "");
    EXPECT_EQ(trace(), Expect{}.gr(0xFA, 0x00).gr_m(0xE8, 0x65, 0x6D).w8(0x3CE, 0xE5).r8(0x3CF, 0x02).lines);
}

TEST_F(Capture, CaptureOffWaitsAtMost100000Reads) {
    sim.set(Reg::gr(0xE5, 0x00), 0x00);
    const auto stop_request = [](unsigned e8) {
        return Expect{}.gr(0xFA, 0x00).gr_m(0xE8, e8, e8 | 0x08).w8(0x3CE, 0xE5);
    };
    EXPECT_EQ(printed([] { Kova_CaptureOff(); }), kStopWarning);
    EXPECT_EQ(trace(), stop_request(0x00).reads(0x3CF, 0x00, 100000).lines);

    // Seen on the last read allowed: no warning.
    sim.clear_trace();
    sim.on_read(Reg::gr(0xE5, 0x00),
                [](std::uint16_t, std::uint64_t n) -> std::uint16_t { return n == 100000 ? 0x02 : 0x00; });
    EXPECT_EQ(printed([] { Kova_CaptureOff(); }), "");
    EXPECT_EQ(trace(), stop_request(0x08).reads(0x3CF, 0x00, 99999).r8(0x3CF, 0x02).lines);
}

TEST_F(Capture, GuardAddressOnEngine0WithTheNarrowBus) {
    sim.set(Reg::gr(0x49), 0xA0);
    sim.set(Reg::sr(0xA2), 0x81);
    Kova_SetCapSafeGuardAddr(1536 * 1024 + 720 * 576 * 2);
    Expect e;
    e.gr(0xFA, 0x00).sr_m(0xA2, 0x81, 0x85).get(0x3CE, 0x72, 0x02);
    e.gr(0x45, 0xFC).gr(0x46, 0x29).gr_m(0x49, 0xA0, 0xA9);
    EXPECT_EQ(trace(), e.lines);
}

TEST_F(Capture, GuardAddressOnEngine1WithTheWideBus) {
    Kova_SelectCaptureIndex(1);
    sim.set(Reg::gr(0x72), 0x06);
    sim.set(Reg::gr(0x49), 0x05);
    Kova_SetCapSafeGuardAddr(1536 * 1024 + 720 * 576 * 2); // 0x92A00 - 8 = 0x929F8
    Expect e;
    e.gr(0xFA, 0x00).sr_m(0xA2, 0x00, 0x04).get(0x3CE, 0x72, 0x06);
    e.gr(0x47, 0xF8).gr(0x48, 0x29).gr_m(0x49, 0x05, 0x95);
    EXPECT_EQ(trace(), e.lines);
}

TEST_F(Capture, CleanUpClearsOnlyTheSetUpBits) {
    sim.set(Reg::gr(0xFA), 0x05);
    sim.set(Reg::sr(0xA2), 0xFF);
    sim.set(Reg::gr(0xB5), 0xFF);
    sim.set(Reg::gr(0xE8, 0x00), 0xFF);
    Kova_CaptureCleanUp();
    EXPECT_EQ(
        trace(),
        Expect{}.gr(0xFA, 0x00).sr_m(0xA2, 0xFF, 0xFB).gr_m(0xB5, 0xFF, 0x7C).gr_m(0xE8, 0xFF, 0x92).lines);
}

} // namespace
