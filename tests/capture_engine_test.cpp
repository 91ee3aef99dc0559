// Capture engines: bank-framed register access, engine selection, the bounded
// vertical-sync wait, and set-up and control of the current engine.
#include "capture.h"
#include "misc.h"
#include "sim_fixture.h"

#include <cstdio>
#include <string>
#include <utility>

namespace {

using kova::registers::Reg;

constexpr std::uint8_t kBank1 = kova::reg::page::kEngine1;
constexpr int kSyncPage = kova::reg::page::kSyncStatus;
const std::string kSyncWarning = "Warning: Dead Loop while capture on\n";
const std::string kStopWarning = "Warning: Dead loop while capture off\n";

// A framed capture-register write: the bank found, the engine's bank, the
// access, the bank found put back.
Lines cap(unsigned found, unsigned bank, unsigned index, unsigned value) {
    return {reg_read(GR, 0xFA, found), reg_write_again(GR, 0xFA, bank), reg_write(GR, index, value),
            reg_write(GR, 0xFA, found)};
}
Lines cap_m(unsigned found, unsigned bank, unsigned index, unsigned old, unsigned now) {
    return Lines{reg_read(GR, 0xFA, found), reg_write_again(GR, 0xFA, bank)} +
           reg_masked(GR, index, old, now) + reg_write(GR, 0xFA, found);
}

// A WaitVSync whose two phases read these status values: page 03 in one
// 16-bit store, GR 43 polled, page 00 back.
Lines vsync_trace(unsigned misses_before, unsigned set_reads, unsigned clear_reads) {
    return Lines{"GR FA:=03"} +
           reg_polled(GR, 0x43, {{0x00, misses_before}, {0x80, set_reads}, {0x00, clear_reads}}) +
           "GR FA:=00";
}
// One WaitVSync on the power-on raster phase: five misses, the sync, its end.
const Lines kVsyncOnRaster = vsync_trace(5, 2, 1);

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
};

// ---------------------------------------------------------------- framing and selection

TEST_F(Capture, FramedWriteOnEngine1PutsBackTheBankItFound) {
    Kova_SelectCaptureIndex(1);
    sim.set(Reg::gr(0xFA), 0x05);
    Out_Capture_Reg(0x60, 0x12);
    EXPECT_EQ(ops(), (Lines{"GR FA?05", "GR FA'=80", "GR 60=12", "GR FA=05"}));
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
    EXPECT_EQ(ops(),
              (cap_m(0x03, 0x00, 0xEA, 0x5A, 0xD1) + Lines{"GR FA?03", "GR FA'=00", "GR EA?D1", "GR FA=03"}));
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
    EXPECT_EQ(ops(), vsync_trace(5, 2, 1));
    EXPECT_EQ(sim.page_fa(), 0x00);
}

TEST_F(Capture, WaitVSyncWithTheBitStuckAt0) {
    sim.stick_bits(Reg::gr(0x43, kSyncPage), 0x80, 0x00);
    EXPECT_EQ(printed([] { WaitVSync(); }), kSyncWarning);
    // 100,001 misses in the first phase, then the second phase ends at once.
    EXPECT_EQ(ops(), vsync_trace(100001 + 1, 0, 0));
    EXPECT_EQ(sim.page_fa(), 0x00);
}

TEST_F(Capture, WaitVSyncWithTheBitStuckAt1) {
    sim.stick_bits(Reg::gr(0x43, kSyncPage), 0x80, 0x80);
    EXPECT_EQ(printed([] { WaitVSync(); }), kSyncWarning);
    EXPECT_EQ(ops(), vsync_trace(0, 1 + 100001, 0));
}

TEST_F(Capture, WaitVSyncWarnsOncePerPhaseWhenBothTimeOut) {
    sim.on_read(Reg::gr(0x43, kSyncPage),
                [](std::uint16_t, std::uint64_t n) -> std::uint16_t { return n <= 100001 ? 0x00 : 0x80; });
    EXPECT_EQ(printed([] { WaitVSync(); }), kSyncWarning + kSyncWarning);
    EXPECT_EQ(ops(), vsync_trace(100001, 100001, 0));
}

TEST_F(Capture, WaitVSyncWarnsFromTheHundredThousandthRead) {
    // The sync shows on read number `at` only.
    const auto sync_on_read = [this](std::uint64_t at) {
        sim.on_read(Reg::gr(0x43, kSyncPage),
                    [at](std::uint16_t, std::uint64_t n) -> std::uint16_t { return n == at ? 0x80 : 0x00; });
    };
    sync_on_read(99999); // 99,998 misses: no warning
    EXPECT_EQ(printed([] { WaitVSync(); }), "");
    EXPECT_EQ(ops(), vsync_trace(99998, 1, 1));

    sim.clear_read_scripts();
    sim.clear_trace();
    sync_on_read(100000); // 99,999 misses: warned although the sync was seen
    EXPECT_EQ(printed([] { WaitVSync(); }), kSyncWarning);
    EXPECT_EQ(ops(), vsync_trace(99999, 1, 1));
}

TEST_F(Capture, SleepVSyncRunsTheWholeWaitCountTimes) {
    sleep_VSync(0);
    EXPECT_TRUE(trace().empty());
    sleep_VSync(2);
    EXPECT_EQ(ops(), kVsyncOnRaster + kVsyncOnRaster);
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

    const Lines expected =
        Lines{"GR BF=01", "GR BA?02",  "GR BA'=82", "GR BA?82", "GR BA'=80",
              "GR BB?00", "GR BB'=02", "GR BB?02",  "GR BB'=06"} +
        Lines{"GR BF=00", "GR FA=00", "SR A2?FF", "SR A2'=FB", "GR B5?7C", "GR B5'=FF", "GR E9=10"} +
        Lines{"GR A4:=13", "GR A5:=12", "SR A4?FF", "SR A4=EE"} +
        Lines{"GR E9?10", "GR E9'=10", "GR A5?12", "GR A5'=12", "GR E8?92", "GR E8'=FF"} +
        Lines{"SR EF?FF", "SR EF'=FD", "SR A0?FF", "SR A0'=7F", "SR ED?FF", "SR ED'=EF"} +
        cap(0, 0, 0x68, 0x00) + cap(0, 0, 0x69, 0x08) + cap(0, 0, 0x6C, 0x00) + cap(0, 0, 0x6D, 0x08) +
        Lines{"GR FA=00", "GR 88=3F", "GR 89=C0", "GR A4?13", "GR A4'=13"} +
        Lines{"SR A3?00", "SR A3'=C0", "SR A5?3F", "SR A5'=FF"};
    EXPECT_EQ(ops(), expected);
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
    const Lines expected =
        Lines{"GR BF=01", "GR BA?00",  "GR BA'=80", "GR BA?80", "GR BA'=80",
              "GR BB?00", "GR BB'=02", "GR BB?02",  "GR BB'=06"} +
        Lines{"GR BF=00", "GR FA=00", "SR A2?00", "SR A2'=00", "GR B5?00", "GR B5'=83", "GR E9=10"} +
        Lines{"GR A4:=10", "GR A5:=10", "SR A4?42", "SR A4=53"} +
        Lines{"GR E9?10", "GR E9'=30", "GR E8?00", "GR E8'=6D"} +
        Lines{"SR EF?41", "SR EF'=43", "SR A0?15", "SR A0'=95",
              "SR ED?81", "SR ED'=91", "GR EA?FF", "GR EA'=22"} +
        cap(0, kBank1, 0x68, 0x00) + cap(0, kBank1, 0x69, 0x08) + cap(0, kBank1, 0x6C, 0x00) +
        cap(0, kBank1, 0x6D, 0x08) + Lines{"GR FA=00", "GR 88=3F", "GR 89=C0", "GR A4?10", "GR A4'=11"} +
        Lines{"SR A3?00", "SR A3'=C0", "SR A5?00", "SR A5'=C0"};
    EXPECT_EQ(ops(), expected);
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
    EXPECT_EQ(ops(), cap(0, 0, 0x60, 0x01) + cap(0, 0, 0x61, 0x00) + cap(0, 0, 0x62, 0xA2) +
                         cap(0, 0, 0x63, 0x05) + cap(0, 0, 0x64, 0x00) + cap(0, 0, 0x65, 0x00) +
                         cap(0, 0, 0x66, 0x20) + cap(0, 0, 0x67, 0x01));
}

TEST_F(Capture, DestinationAddressHoldsTheEngineAndPutsBit2Back) {
    sim.set(Reg::gr(0xFA), 0x05);
    sim.set(Reg::gr(0xE8, 0x00), 0x69);
    Kova_SetCapDstAddr(1536 * 1024, 0, 0, 720);
    EXPECT_EQ(ops(), (Lines{"GR FA=00", "GR E8?69", "GR E8?69", "GR E8'=6D"} + cap(0, 0, 0xEB, 0x00) +
                      cap(0, 0, 0xEC, 0x00) + cap(0, 0, 0xED, 0x06) + cap(0, 0, 0xEE, 0xB4) +
                      Lines{"GR E8?6D", "GR E8'=69"}));

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
    EXPECT_EQ(ops(), (cap_m(0, 0, 0xEA, 0xF5, 0xF7) + Lines{"GR EF?FF", "GR EF'=FB"} + cap(0, 0, 0x6A, 0x00) +
                      cap(0, 0, 0x6B, 0x10) + cap(0, 0, 0x6E, 0x00) + cap(0, 0, 0x6F, 0x10)));
}

TEST_F(Capture, ScaleWithoutFieldHalving) {
    sim.set(Reg::gr(0xEA, 0x00), 0xFF);
    Kova_SetCaptureScale(720, 360, 288, 288, 0);
    EXPECT_EQ(ops(), (cap_m(0, 0, 0xEA, 0xFF, 0xFD) + Lines{"GR EF?00", "GR EF'=04"} + cap(0, 0, 0x6A, 0x00) +
                      cap(0, 0, 0x6B, 0x08) + cap(0, 0, 0x6E, 0x00) + cap(0, 0, 0x6F, 0x10)));
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
    EXPECT_EQ(ops(), (Lines{"GR DE=01", "GR FA=00", "GR E8?9C", "GR E8'=FD"} + kVsyncOnRaster +
                      kVsyncOnRaster + Lines{"GR FA=00", "GR E8?FD", "GR E8'=F1"}));
    EXPECT_EQ(sim.get(Reg::gr(0xDE)), 0x01);
}

TEST_F(Capture, CaptureOffWithTheEngineAlreadyStopped) {
    sim.set(Reg::gr(0xE8, 0x00), 0x65);
    EXPECT_EQ(printed([] { Kova_CaptureOff(); }), "");
    EXPECT_EQ(ops(), (Lines{"GR FA=00", "GR E8?65", "GR E8'=6D", "GR E5?02"}));
}

TEST_F(Capture, CaptureOffWaitsAtMost100000Reads) {
    sim.set(Reg::gr(0xE5, 0x00), 0x00);
    // The stop request, then the polls of GR E5.
    const auto stop_request = [](unsigned e8) {
        return Lines{"GR FA=00"} + reg_masked(GR, 0xE8, e8, e8 | 0x08);
    };
    EXPECT_EQ(printed([] { Kova_CaptureOff(); }), kStopWarning);
    EXPECT_EQ(ops(), stop_request(0x00) + reg_polled(GR, 0xE5, {{0x00, 100000}}));

    // Seen on the last read allowed: no warning.
    sim.clear_trace();
    sim.on_read(Reg::gr(0xE5, 0x00),
                [](std::uint16_t, std::uint64_t n) -> std::uint16_t { return n == 100000 ? 0x02 : 0x00; });
    EXPECT_EQ(printed([] { Kova_CaptureOff(); }), "");
    EXPECT_EQ(ops(), stop_request(0x08) + reg_polled(GR, 0xE5, {{0x00, 99999}, {0x02, 1}}));
}

TEST_F(Capture, GuardAddressOnEngine0WithTheNarrowBus) {
    sim.set(Reg::gr(0x49), 0xA0);
    sim.set(Reg::sr(0xA2), 0x81);
    Kova_SetCapSafeGuardAddr(1536 * 1024 + 720 * 576 * 2);
    EXPECT_EQ(ops(), (Lines{"GR FA=00", "SR A2?81", "SR A2'=85", "GR 72?02", "GR 45=FC", "GR 46=29",
                            "GR 49?A0", "GR 49'=A9"}));
}

TEST_F(Capture, GuardAddressOnEngine1WithTheWideBus) {
    Kova_SelectCaptureIndex(1);
    sim.set(Reg::gr(0x72), 0x06);
    sim.set(Reg::gr(0x49), 0x05);
    Kova_SetCapSafeGuardAddr(1536 * 1024 + 720 * 576 * 2); // 0x92A00 - 8 = 0x929F8
    EXPECT_EQ(ops(), (Lines{"GR FA=00", "SR A2?00", "SR A2'=04", "GR 72?06", "GR 47=F8", "GR 48=29",
                            "GR 49?05", "GR 49'=95"}));
}

TEST_F(Capture, CleanUpClearsOnlyTheSetUpBits) {
    sim.set(Reg::gr(0xFA), 0x05);
    sim.set(Reg::sr(0xA2), 0xFF);
    sim.set(Reg::gr(0xB5), 0xFF);
    sim.set(Reg::gr(0xE8, 0x00), 0xFF);
    Kova_CaptureCleanUp();
    EXPECT_EQ(ops(),
              (Lines{"GR FA=00", "SR A2?FF", "SR A2'=FB", "GR B5?FF", "GR B5'=7C", "GR E8?FF", "GR E8'=92"}));
}

} // namespace
