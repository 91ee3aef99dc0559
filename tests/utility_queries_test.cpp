// Screen, memory and chip queries, and the clock readout.
#include "screen_registers.h"
#include "utility.h"

namespace {

using kova::registers::Reg;

class Queries : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        map();
    }
    void set_memory_config(unsigned gr72) { sim.set(Reg::gr(0x72), static_cast<std::uint8_t>(gr72)); }
    void set_chip(unsigned gr91, unsigned gr92) {
        sim.set(Reg::gr(0x91), static_cast<std::uint8_t>(gr91));
        sim.set(Reg::gr(0x92), static_cast<std::uint8_t>(gr92));
    }
};

// ---------------------------------------------------------------- screen

TEST_F(Queries, ScreenInfoReadsEveryDisplayEndRegisterWhateverIsAsked) {
    set_screen(sim, k640x480x16);
    EXPECT_EQ(GetCurrentScreenInfo(0), 640);
    EXPECT_EQ(ops(), display_end_reads(k640x480x16));
    sim.clear_trace();
    EXPECT_EQ(GetCurrentScreenInfo(1), 480);
    EXPECT_EQ(ops(), display_end_reads(k640x480x16));
    EXPECT_EQ(GetCurrentScreenInfo(2), 480); // any value but 0 asks for the height
}

TEST_F(Queries, ScreenInfoUsesEveryOverflowBit) {
    // CR 12 = FF with CR 07 bit 6 only: 768 lines.
    set_screen(sim, {0x7F, 0x00, 0xFF, 0x40, 0x00, 0x02});
    EXPECT_EQ(GetCurrentScreenInfo(1), 768);
    // CR 01 = 3F with CR 53 bit 1: (63 + 256) * 8 + 8 = 2560 wide; the other
    // bits of CR 53 do not count.
    set_screen(sim, {0x3F, 0x02, 0x00, 0x00, 0x00, 0x02});
    EXPECT_EQ(GetCurrentScreenInfo(0), 2560);
    sim.set(Reg::cr(0x53), 0xFD);
    EXPECT_EQ(GetCurrentScreenInfo(0), 512);
    // CR 07 bit 1 adds 256 lines, GR 11 bit 1 adds 1024; neighbouring bits do not count.
    set_screen(sim, {0x00, 0x00, 0x00, 0xBD, 0x00, 0x02});
    EXPECT_EQ(GetCurrentScreenInfo(1), 1);
    set_screen(sim, {0x00, 0x00, 0x10, 0x02, 0x02, 0x02});
    EXPECT_EQ(GetCurrentScreenInfo(1), 0x10 + 256 + 1024 + 1);
    set_screen(sim, {0x00, 0x00, 0x10, 0x00, 0xFD, 0x02});
    EXPECT_EQ(GetCurrentScreenInfo(1), 0x11);
}

TEST_F(Queries, DepthTableHasThirtyTwoBitsAtCodeThreeAndTwentyFourAtFour) {
    const unsigned expected[8] = {4, 8, 16, 32, 24, 4, 16, 4};
    for (unsigned code = 0; code < 8; ++code) {
        sim.set(Reg::gr(0x77), static_cast<std::uint8_t>(0xF8 | code)); // upper bits ignored
        EXPECT_EQ(GetBpp(), expected[code]) << "code " << code;
    }
    sim.clear_trace();
    sim.set(Reg::gr(0x77), 0x03);
    GetBpp();
    EXPECT_EQ(ops(), Lines{"GR 77?03"});
}

TEST_F(Queries, MapSizeRoundsUpToWholeKibibytes) {
    set_memory_config(0x02); // 4 MiB
    set_screen(sim, k640x480x16);
    EXPECT_EQ(GetCurrentScreenMapSize(0), 600);
    EXPECT_EQ(GetCurrentScreenMapSize(1), 4 * 1024 - 600);
    EXPECT_EQ(GetCurrentScreenMapSize(2), 600); // any value but 1 is the used size
    set_screen(sim, k800x600x16);               // 937.5 KiB
    EXPECT_EQ(GetCurrentScreenMapSize(0), 938);
    set_screen(sim, k1024x768x24);
    EXPECT_EQ(GetCurrentScreenMapSize(0), 768 * 3);
}

TEST_F(Queries, MapSizeReadsTheModeTwiceThenDepthThenMemorySize) {
    set_memory_config(0x01); // 2 MiB
    set_screen(sim, k800x600x16);
    EXPECT_EQ(GetCurrentScreenMapSize(1), 2 * 1024 - 938);
    EXPECT_EQ(ops(),
              display_end_reads(k800x600x16) + display_end_reads(k800x600x16) + "GR 77?02" + "GR 72?01");
    sim.clear_trace();
    GetCurrentScreenMapSize(0); // the memory size is read only for the free size
    EXPECT_EQ(ops(),
              display_end_reads(k800x600x16) + display_end_reads(k800x600x16) + reg_read(GR, 0x77, 0x02));
}

TEST_F(Queries, FourBitScreenOccupiesNothing) {
    for (unsigned code : {0x00u, 0x05u, 0x07u}) {
        set_screen(sim, {0x7F, 0x00, 0xFF, 0x40, 0x00, code});
        set_memory_config(0x03);
        EXPECT_EQ(GetCurrentScreenMapSize(0), 0);
        EXPECT_EQ(GetCurrentScreenMapSize(1), 6 * 1024);
    }
}

TEST_F(Queries, ScreenLargerThanVideoMemoryLeavesNothingFree) {
    // 2560 x 1024 at 32 bits is 10 MiB; with 1 MiB of video memory nothing is
    // left (not a count wrapped around 16 bits).
    set_screen(sim, {0x3F, 0x02, 0xFF, 0x42, 0x00, 0x03});
    set_memory_config(0x00);
    EXPECT_EQ(GetCurrentScreenMapSize(0), 10 * 1024);
    EXPECT_EQ(GetCurrentScreenMapSize(1), 0);
    // Exactly full (1024 x 1024 at 8 bits): nothing left either.
    set_screen(sim, {0x7F, 0x00, 0xFF, 0x42, 0x00, 0x01});
    EXPECT_EQ(GetCurrentScreenMapSize(0), 1024);
    EXPECT_EQ(GetCurrentScreenMapSize(1), 0);
}

// ---------------------------------------------------------------- memory and chip

TEST_F(Queries, MemorySizeCodeThreeIsSixMebibytes) {
    const unsigned expected[4] = {1, 2, 4, 6};
    for (unsigned code = 0; code < 4; ++code) {
        set_memory_config(0xF8 | code);
        EXPECT_EQ(GetVMemSize(), expected[code]) << "code " << code;
    }
    set_memory_config(0x07);
    EXPECT_EQ(GetVMemSize(), 6);
    EXPECT_EQ(GetBusWidth(), 1);
    set_memory_config(0x00);
    EXPECT_EQ(GetVMemSize(), 1);
    EXPECT_EQ(GetBusWidth(), 0);
    set_memory_config(0xFB); // every bit but the bus width flag
    EXPECT_EQ(GetBusWidth(), 0);
}

TEST_F(Queries, LinearBufferBaseComesThroughTheRegisterWindow) {
    sim.set(Reg::gr(0x35), 0xD8);
    EXPECT_EQ(GetLinearBufferPtr(), 0xD8000000u);
    EXPECT_EQ(ops(), Lines{"GR 35?D8"}); // no direct port I/O
}

TEST_F(Queries, ChipIdWithUpperRevisionBitsReadsGr92Directly) {
    set_chip(0x10, 0x09);
    EXPECT_EQ(GetChipID(), 9);
    EXPECT_EQ(ops(), (Lines{"GR 91?10", "GR 92?09"}));
}

TEST_F(Queries, ChipIdIsAllOnesWhenTheSecondRevisionReadSetsTheUpperBits) {
    set_chip(0x00, 0x09);
    sim.script_reads(Reg::gr(0x91), {0x00, 0xF3});
    EXPECT_EQ(GetChipID(), 0xFFFF);
    // The second read goes to the data port without a new index; GR 92 is not read.
    EXPECT_EQ(ops(), (Lines{"GR 91?00", "GR 91'?F3"}));
}

TEST_F(Queries, ChipIdReadsGr92AfterARepeatedRevisionRead) {
    set_chip(0x05, 0x03);
    EXPECT_EQ(GetChipID(), 3);
    EXPECT_EQ(ops(), (Lines{"GR 91?05", "GR 91'?05", "GR 92?03"}));
    // Upper bits only partly set on the second read: still GR 92.
    sim.clear_trace();
    sim.script_reads(Reg::gr(0x91), {0x00, 0x70});
    EXPECT_EQ(GetChipID(), 3);
    EXPECT_EQ(ops(), (Lines{"GR 91?00", "GR 91'?70", "GR 92?03"}));
}

// ---------------------------------------------------------------- clocks

class Clocks : public Queries {
  protected:
    void later() { set_chip(0x10, 0x09); }
    void earlier() { set_chip(0x10, 0x05); }
};

// N = n + 256 * (h bits 2..0), M = (m bits 4..0) + 32 * (h bits 5..3); the
// post-divider code is m bits 7..6, with h bit 6 as its bit 2 on the later
// generation only.
TEST_F(Clocks, SynthesiserClockOfEachGeneration) {
    struct Case {
        bool later;
        unsigned char n, m, h;
        double mhz;
    };
    const Case cases[] = {
        {true, 0x42, 0xD0, 0x89, 24.576 * 323 / 294},         // N = 322, M = 48, code 3: P = 6
        {false, 0x42, 0xD0, 0x89, 14.31818 * 323 / (8 * 49)}, // the same values: P = 8
        {false, 0x3F, 0x47, 0x00, 14.31818 * 64 / 16},
        {false, 0x3F, 0x07, 0x00, 14.31818 * 64 / 8},
        {false, 0x3F, 0x87, 0x00, 14.31818 * 64 / 32},
        {false, 0x3F, 0xC7, 0x00, 14.31818 * 64 / 64},
        {false, 0x3F, 0x47, 0x40, 14.31818 * 64 / 16}, // h bit 6 is no divider bit here
        {true, 0x41, 0x85, 0x00, 67.584},
        {true, 0x41, 0x05, 0x40, 33.792},
        {true, 0x41, 0x45, 0x00, 67.584 * 2},
        {true, 0x41, 0xC5, 0x00, 67.584 * 4 / 6},
        {true, 0x41, 0x1F, 0x3F, 24.576 * 0x742 / 0x100}, // N = 0x741, M = 0xFF
    };
    for (const Case &c : cases) {
        if (c.later)
            later();
        else
            earlier();
        EXPECT_NEAR(CalculateClock(c.n, c.m, c.h), c.mhz, 1e-9)
            << (c.later ? "later" : "earlier") << " n " << +c.n << " m " << +c.m << " h " << +c.h;
    }
    later(); // the sync lock's setting: just above 27 MHz
    EXPECT_GT(CalculateClock(0x42, 0xD0, 0x89), 27.0);
    EXPECT_LT(CalculateClock(0x42, 0xD0, 0x89), 27.001);
}

TEST_F(Clocks, LaterGenerationCodesWithoutDivisorAreReportedApart) {
    later();
    for (unsigned m : {0x45u, 0x85u, 0xC5u}) { // codes 5, 6, 7 with h bit 6
        const double clock = CalculateClock(0x41, static_cast<unsigned char>(m), 0x40);
        EXPECT_EQ(clock, KOVA_CLOCK_NO_DIVISOR) << "m " << m;
        EXPECT_NE(clock, KOVA_CLOCK_NONE);
    }
    // The slowest real setting (N = 0, M = 255, P = 8) is still above it.
    EXPECT_GT(CalculateClock(0x00, 0x1F, 0x78), KOVA_CLOCK_NO_DIVISOR);
    earlier();
    EXPECT_GT(CalculateClock(0x00, 0xDF, 0x38), KOVA_CLOCK_NO_DIVISOR);
}

TEST_F(Clocks, ChipIdOfAllOnesCountsAsTheLaterGeneration) {
    set_chip(0x00, 0x02);
    sim.on_read(Reg::gr(0x91),
                [](std::uint16_t, std::uint64_t n) -> std::uint16_t { return n % 2 ? 0x00 : 0xF0; });
    EXPECT_NEAR(CalculateClock(0x41, 0x85, 0x00), 67.584, 1e-9);
}

TEST_F(Clocks, MemoryClockReadsItsSynthesiserThenTheChipId) {
    later();
    sim.set(Reg::gr(0xB2), 0x41);
    sim.set(Reg::gr(0xB3), 0x85);
    sim.set(Reg::gr(0xBB, 0x00), 0x00);
    sim.set(Reg::gr(0xBB, 0x01), 0x40); // another bank: not read
    EXPECT_NEAR(GetVMemoryClock(), 67.584, 1e-9);
    EXPECT_EQ(ops(), (Lines{"GR B2?41", "GR B3?85", "GR BB?00", "GR 91?10", "GR 92?09"}));
}

TEST_F(Clocks, PixelClockFromTheSynthesiserWhenSelectionIsThree) {
    later();
    sim.set(Reg::port(0x3CC), 0xFC);
    sim.set(Reg::gr(0xB0), 0x42);
    sim.set(Reg::gr(0xB1, 0x00), 0xD0);
    sim.set(Reg::gr(0xBA, 0x00), 0x89);
    EXPECT_NEAR(GetVPixelClock(), 24.576 * 323 / 294, 1e-9);
    EXPECT_EQ(ops(), (Lines{"r8 003CC FC", "GR B0?42", "GR B1?D0", "GR BA?89", "GR 91?10", "GR 92?09"}));
}

TEST_F(Clocks, FixedPixelClockSelectionsReadNothingElse) {
    const struct {
        unsigned misc;
        double clock;
    } cases[] = {{0x00, 25.175}, {0xF3, 25.175}, {0x04, 28.322}, {0xF7, 28.322}, {0x08, -1.0}, {0xFB, -1.0}};
    for (const auto &c : cases) {
        sim.clear_trace();
        sim.set(Reg::port(0x3CC), static_cast<std::uint8_t>(c.misc));
        EXPECT_EQ(GetVPixelClock(), c.clock) << "misc " << c.misc;
        EXPECT_EQ(ops(), Lines{bus("r8", 0x3CC, c.misc)});
    }
}

} // namespace
