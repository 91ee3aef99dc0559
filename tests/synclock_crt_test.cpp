// DAC power, retrace wait, display-fetch reset and the CRT timing override.
#include "synclock_fixture.h"

namespace {

using CrtOverride = SyncLockTest;

TEST_F(CrtOverride, DacPowerFlipsOnlyBit6OfTheMaskAndLeavesGr56Bit2Clear) {
    sim.set(Reg::gr(0x56), 0x0F);
    sim.set(Reg::port(0x3C6), 0x95);
    DACPower(0);
    EXPECT_EQ(ops(), (Lines{"GR 56?0F", "GR 56'=0F", "DAC?95", "DAC=D5", "GR 56?0F", "GR 56'=0B"}));
    EXPECT_EQ(sim.get(Reg::port(0x3C6)), 0xD5);
    EXPECT_EQ(sim.get(Reg::gr(0x56)), 0x0B);

    sim.clear_trace();
    DACPower(2); // any non-zero value powers the DAC up
    EXPECT_EQ(writes_of(ops()), (Lines{"GR 56'=0F", "DAC=95", "GR 56'=0B"}));
    EXPECT_EQ(sim.get(Reg::port(0x3C6)), 0x95);
}

TEST_F(CrtOverride, WaitCRTVSyncReturnsAtTheStartOfTheNextRetrace) {
    // Raster: every status read advances t by one; retrace while t mod 8 >= 6.
    sim.set_raster_time(0);
    WaitCRTVSync();
    EXPECT_EQ(sim.raster_time(), 14u); // 6 reads into the first retrace, out at 8, into the next at 14
    EXPECT_TRUE(sim.in_vertical_retrace());

    // Called inside a retrace: waits for its end and returns at the next start.
    sim.set_raster_time(6);
    WaitCRTVSync();
    EXPECT_EQ(sim.raster_time(), 14u);
    sim.set_raster_time(13);
    WaitCRTVSync();
    EXPECT_EQ(sim.raster_time(), 22u);
}

TEST_F(CrtOverride, WaitCRTVSyncGivesUpOnADeadDisplayWithOneWarning) {
    sim.set_recording(false);
    sim.stick_bits(Reg::port(0x3DA), 0x08, 0x00); // never a retrace
    auto before = sim.access_count();
    testing::internal::CaptureStdout();
    WaitCRTVSync();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: WaitCRTVSync: display status did not change in 1000000 reads, carrying on\n");
    EXPECT_EQ(sim.access_count() - before, 1000000u);

    before = sim.access_count();

    sim.clear_read_scripts();
    sim.stick_bits(Reg::port(0x3DA), 0x08, 0x08); // retrace without end
    testing::internal::CaptureStdout();
    WaitCRTVSync();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: WaitCRTVSync: display status did not change in 1000000 reads, carrying on\n");
    EXPECT_EQ(sim.access_count() - before, 1000001u); // one read found the retrace, then the bound
}

TEST_F(CrtOverride, ResetDisplayFetchReadsAndWritesEachRegisterInTurn) {
    sim.set(Reg::gr(0xDE), 0x81);
    sim.set(Reg::sr(0xDE), 0x02);
    sim.set(Reg::gr(0x70), 0xC0);
    ResetDisplayFetch(1);
    EXPECT_EQ(trace(), (Lines{"w8 003CE DE", "r8 003CF 81", "w8 003CE DE", "w8 003CF C1", "w8 003C4 DE",
                              "r8 003C5 02", "w8 003C4 DE", "w8 003C5 42", "w8 003CE 70", "r8 003CF C0",
                              "w8 003CE 70", "w8 003CF C0"}));
    sim.clear_trace();
    ResetDisplayFetch(0);
    EXPECT_EQ(ops(), (Lines{"GR DE?C1", "GR DE=81", "SR DE?42", "SR DE=02", "GR 70?C0", "GR 70=80"}));
    EXPECT_EQ(sim.get(Reg::port(0x3CE)), 0x70);
}

TEST_F(CrtOverride, WriteCrtSavesAndOverridesTimingAndClockThenCleanupPutsThemBack) {
    sim.set(Reg::cr(0x1F), 0x55);
    sim.set(Reg::cr(0x11), 0x8E);
    sim.set(Reg::gr(0xB0), 0x11);
    sim.set(Reg::gr(0xB1, 0x00), 0x22);
    sim.set(Reg::gr(0xBA, 0x00), 0x33);
    WriteCrt(0, 1); // PAL 720x540
    const Lines fetch_on = {"GR DE?00", "GR DE=40", "SR DE?00", "SR DE=40", "GR 70?00", "GR 70=40"};
    const Lines fetch_off = {"GR DE?40", "GR DE=00", "SR DE?40", "SR DE=00", "GR 70?40", "GR 70=00"};
    Lines expected = fetch_on;
    append(expected, {"CR 1F?55", "CR 1F=03", "CR 11?8E", "CR 11=0E"});
    append(expected, {"CR 00?00", "CR 00=77", "CR 01?7F", "CR 01=59", "CR 02?00", "CR 02=59", "CR 03?00",
                      "CR 03=19", "CR 04?00", "CR 04=67", "CR 05?00", "CR 05=90", "CR 06?00", "CR 06=6F",
                      "CR 07?40", "CR 07=F0", "CR 09?00", "CR 09=60", "CR 10?00", "CR 10=4F", "CR 11?0E",
                      "CR 11=06", "CR 12?FF", "CR 12=1B", "CR 15?00", "CR 15=1C", "CR 16?00", "CR 16=6F"});
    append(expected, {"CR 1F=55", "CR 11?06", "CR 11=86"});
    append(expected,
           {"GR B0?11", "GR B1?22", "GR BA?33", "GR B0=42", "GR B1=D0", "GR BA=89", "GR B9=80", "GR B9=00"});
    append(expected, fetch_off);
    EXPECT_EQ(ops(), expected);
    EXPECT_TRUE(masked_writes(ops()).empty()); // CR 11 is read, then written with its index again
    EXPECT_EQ(std::vector<unsigned char>(bOldRegCrt, bOldRegCrt + 14),
              (std::vector<unsigned char>{0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x0E,
                                          0xFF, 0x00, 0x00}));
    EXPECT_EQ(b3CE_B0, 0x11);
    EXPECT_EQ(b3CE_B1, 0x22);
    EXPECT_EQ(b3CE_BA, 0x33);

    sim.clear_trace();
    CleanupCrt();
    Lines cleanup = fetch_on;
    append(cleanup, {"CR 1F?55", "CR 1F=03", "CR 11?86", "CR 11=06"});
    append(cleanup, {"CR 00=00", "CR 01=7F", "CR 02=00", "CR 03=00", "CR 04=00", "CR 05=00", "CR 06=00",
                     "CR 07=40", "CR 09=00", "CR 10=00", "CR 11=0E", "CR 12=FF", "CR 15=00", "CR 16=00"});
    append(cleanup, {"CR 1F=55", "CR 11?0E", "CR 11=8E"});
    append(cleanup, {"GR B0=11", "GR B1=22", "GR BA=33", "GR B9=80", "GR B9=00"});
    append(cleanup, fetch_off);
    EXPECT_EQ(ops(), cleanup);
    EXPECT_EQ(sim.get(Reg::cr(0x1F)), 0x55);
    EXPECT_EQ(sim.get(Reg::cr(0x11)), 0x8E);
    EXPECT_EQ(sim.get(Reg::cr(0x12)), 0xFF);
    // The save area is not cleared.
    EXPECT_EQ(bOldRegCrt[1], 0x7F);
    EXPECT_EQ(b3CE_BA, 0x33);
}

TEST_F(CrtOverride, NtscKeepsALargerHorizontalTotalExceptInMode1) {
    struct Case {
        unsigned short mode;
        unsigned char before, after;
    };
    for (const Case c : {Case{0, 0x7F, 0x7F}, Case{0, 0x5F, 0x66}, Case{2, 0x67, 0x67}, Case{2, 0x66, 0x66},
                         Case{1, 0x7F, 0x66}, Case{1, 0x20, 0x66}}) {
        sim.set(Reg::cr(0x00), c.before);
        WriteCrt(1, c.mode);
        EXPECT_EQ(sim.get(Reg::cr(0x00)), c.after) << "mode " << c.mode << " CR 00 was " << int(c.before);
        EXPECT_EQ(bOldRegCrt[0], c.before);
    }
    // PAL has no such rule.
    sim.set(Reg::cr(0x00), 0x7F);
    WriteCrt(0, 3);
    EXPECT_EQ(sim.get(Reg::cr(0x00)), 0x6F);
}

TEST_F(CrtOverride, OtherStandardsLeaveTheCrtImageButStillSetTheClock) {
    std::memset(bOldRegCrt, 0xAA, sizeof bOldRegCrt);
    sim.set(Reg::cr(0x00), 0x5F);
    sim.set(Reg::gr(0xB0), 0x11);
    WriteCrt(2, 0);
    const Lines all = ops();
    for (const std::string &op : all)
        EXPECT_TRUE(op.rfind("CR ", 0) != 0 || op.rfind("CR 1F", 0) == 0 || op.rfind("CR 11", 0) == 0) << op;
    EXPECT_NE(find_op(all, "GR B0=42"), -1);
    EXPECT_NE(find_op(all, "GR B9=80"), -1);
    EXPECT_EQ(b3CE_B0, 0x11);
    EXPECT_EQ(bOldRegCrt[0], 0xAA);
    EXPECT_EQ(sim.get(Reg::cr(0x00)), 0x5F);
}

TEST_F(CrtOverride, ModesWithoutARowTouchNothing) {
    std::memset(bOldRegCrt, 0xAA, sizeof bOldRegCrt);
    WriteCrt(1, 3);
    WriteCrt(0, 4);
    WriteCrt(0, 0xFFFF);
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(bOldRegCrt[0], 0xAA);
    EXPECT_EQ(b3CE_B0, 0);
}

} // namespace
