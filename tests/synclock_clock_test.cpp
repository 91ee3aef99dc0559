// The switch of the display to the video clock and back.
#include "synclock_fixture.h"

namespace {

class VideoClock : public SyncLockTest {
  protected:
    void SetUp() override {
        SyncLockTest::SetUp();
        fill_tv_registers();
        sim.set(Reg::sr(0xEA), 0x11);
        sim.set(Reg::sr(0xEB), 0x22);
        sim.set(Reg::sr(0xEC), 0x3C);
        sim.set(Reg::sr(0xED), 0x44);
        sim.set(Reg::sr(0xEE), 0x55);
        sim.set(Reg::sr(0xEF), 0x66);
        sim.set(Reg::sr(0xA6), 0x77);
        sim.set(Reg::sr(0xE4), 0x99);
        sim.set(Reg::sr(0xE5), 0x98);
        sim.set(Reg::cr(0x28), 0x97);
        sim.set_tv(0xE4EC, 0x0004);
        sim.set_tv(0xE5F6, 0x0100);
    }
};

TEST_F(VideoClock, SwitchOnSavesThenProgramsClockSyncAndTvRegisters) {
    Kova_ChangeToVideoClk(0, 1, 1, 1, 1); // NTSC, variant 1, mode 1
    const Lines writes = writes_of(ops());
    const Lines expected = {
        "GR 56'=04",    "DAC=40",       "GR 56'=00",
        "SR EC'=28",                                                 // bits 2 and 4 cleared
        "SR E4=50",     "SR E5=03",     "SR EB'=A2",    "SR ED'=04", // EB bit 7 set, ED bit 6 cleared
        "SR EE'=D4",    "SR EF'=3F",    "SR A6'=67",                 // 80 keep 7E, 3D keep 02, 00 keep EF
        "CR 28=60",     "CR 29=E0",     "CR 2A=ED",     "CR 2B=81",     "SR EC'=28",
        "TV E5F0=010F", "TV E5F2=0DD0", "TV E5F4=F300", "TV E4EC=000C",
        "TV E5F6=0130", // 0100 OR (013A AND 0030)
    };
    ASSERT_GT(writes.size(), expected.size());
    EXPECT_EQ(Lines(writes.begin(), writes.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(writes[expected.size()], "GR FA=05"); // then the colour check
    EXPECT_EQ(Lines(writes.end() - 3, writes.end()), (Lines{"GR 56'=04", "DAC=00", "GR 56'=00"}));

    EXPECT_EQ(masked_writes(ops()),
              (Lines{"GR 56", "GR 56", "SR EC", "SR EB", "SR ED", "SR EE", "SR EF", "SR A6", "SR EC", "GR 4E",
                     "GR 4E", "GR 4E", "GR 4E", "GR 56", "GR 56"}));

    EXPECT_EQ(wExtClock, 1);
    EXPECT_EQ((std::vector<int>{bEA, bEB, bEC, bED, bEE, bEF, bA6}),
              (std::vector<int>{0x11, 0x22, 0x3C, 0x44, 0x55, 0x66, 0x77}));
    EXPECT_EQ((std::vector<int>{wE5F0, wE5F2, wE5F4, wE5F6, wE4EC}),
              (std::vector<int>{tv_pattern(0xE5F0), tv_pattern(0xE5F2), tv_pattern(0xE5F4), 0x0100, 0x0004}));
    // Saved in this order before anything is written.
    const Lines all = ops();
    const long first_save = find_op(all, "SR EA?11");
    ASSERT_NE(first_save, -1);
    EXPECT_EQ(Lines(all.begin() + first_save, all.begin() + first_save + 12),
              (Lines{"SR EA?11", "SR EB?22", "SR EC?3C", "SR ED?44", "SR EE?55", "SR EF?66", "SR A6?77",
                     tv_read(0xE5F0, tv_pattern(0xE5F0)), tv_read(0xE5F2, tv_pattern(0xE5F2)),
                     tv_read(0xE5F4, tv_pattern(0xE5F4)), "TV E5F6?0100", "TV E4EC?0004"}));
}

TEST_F(VideoClock, OnTwiceThenOffRestoresWhatTheFirstSwitchOnSaved) {
    Kova_ChangeToVideoClk(1, 0, 0, 1, 3);
    for (unsigned char sr : {0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0xA6})
        sim.set(Reg::sr(sr), 0xFF);
    sim.clear_trace();
    Kova_ChangeToVideoClk(0, 1, 1, 1, 0);
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(bEB, 0x22);
    EXPECT_EQ(wE5F6, 0x0100);

    Kova_ChangeToVideoClk(1, 0, 0, 0, 3);
    const Lines writes = writes_of(ops());
    const Lines expected = {
        "GR 56'=04",
        "DAC=40",
        "GR 56'=00",
        "SR E4=00",
        "SR E5=00",
        "SR EB'=7F", // bit 7 from 22
        "SR EE'=7F", // bits 0 and 7 from 55, the rest kept (FF AND 7E)
        "SR EF'=66", // all but bit 1 from 66
        "SR ED'=FF", // bit 6 from 44
        "SR A6'=FF", // bit 4 from 77
        "CR 28=00",
        "CR 29=00",
        "CR 2A=00",
        "CR 2B=00",
        tv_write(0xE5F0, tv_pattern(0xE5F0)),
        tv_write(0xE5F2, tv_pattern(0xE5F2)),
        tv_write(0xE5F4, tv_pattern(0xE5F4)),
        "TV E4EC=0004",
        "TV E5F6=0100",
        "SR EC'=FF", // bits 2 and 4 from 3C
    };
    ASSERT_GT(writes.size(), expected.size());
    EXPECT_EQ(Lines(writes.begin(), writes.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(writes[expected.size()], "GR FA=05");
    EXPECT_EQ(masked_writes(ops()), (Lines{"GR 56", "GR 56", "SR EB", "SR EE", "SR EF", "SR ED", "SR A6",
                                           "SR EC", "GR 4E", "GR 4E", "GR 4E", "GR 4E", "GR 56", "GR 56"}));
    EXPECT_EQ(wExtClock, 0);
    EXPECT_EQ(sim.get(Reg::sr(0xE4)), 0);
    EXPECT_EQ(sim.get(Reg::sr(0xE5)), 0);
    EXPECT_EQ(sim.get(Reg::cr(0x28)), 0);
}

TEST_F(VideoClock, SwitchOffWhileOnTheOwnClockDoesNothing) {
    Kova_ChangeToVideoClk(0, 1, 0, 0, 0);
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(wExtClock, 0);
}

TEST_F(VideoClock, ClockSelect2LeavesTheClockPatternOutButSwitchOffStillRestoresIt) {
    Kova_ChangeToVideoClk(2, 1, 0, 1, 0);
    Lines writes = writes_of(ops());
    const long ed = find_op(writes, "SR ED'=04");
    ASSERT_NE(ed, -1);
    EXPECT_EQ(writes[static_cast<std::size_t>(ed + 1)], "CR 28=5C");
    EXPECT_EQ(sim.get(Reg::sr(0xEE)), 0x55);
    sim.set(Reg::sr(0xEE), 0x00);
    sim.clear_trace();
    Kova_ChangeToVideoClk(2, 1, 0, 0, 0);
    writes = writes_of(ops());
    EXPECT_NE(find_op(writes, "SR EE'=01"), -1); // bits 0 and 7 of the saved 55
    EXPECT_NE(find_op(writes, "SR A6'=77"), -1);
}

TEST_F(VideoClock, EveryStandardButNtscIsPal) {
    for (unsigned short standard : {0, 7}) {
        SCOPED_TRACE(standard);
        sim.clear_trace();
        Kova_ChangeToVideoClk(0, standard, 0, 1, 2);
        const Lines writes = writes_of(ops());
        EXPECT_NE(find_op(writes, "SR E4=56"), -1);
        const long e5f0 = find_op(writes, "TV E5F0=E150");
        ASSERT_NE(e5f0, -1);
        EXPECT_EQ(Lines(writes.begin() + e5f0, writes.begin() + e5f0 + 4),
                  (Lines{"TV E5F0=E150", "TV E5F2=080D", "TV E5F4=ED0D", "TV E5F6=0120"})); // no E4EC for PAL
        const long sync = find_op(writes, "CR 28=5D");
        ASSERT_NE(sync, -1);
        EXPECT_EQ(Lines(writes.begin() + sync, writes.begin() + sync + 4),
                  (Lines{"CR 28=5D", "CR 29=90", "CR 2A=31", "CR 2B=82"}));
        const Lines all = ops();
        expect_masked(all, "SR EE", find_op(all, "SR ED'=04"), 0x81, 0x7E);
        Kova_ChangeToVideoClk(0, standard, 0, 0, 2);
        EXPECT_EQ(sim.get_tv(0xE4EC), 0x0004);
    }
}

TEST_F(VideoClock, ClockPatternsForEveryStandardClockAndVariant) {
    struct Case {
        unsigned short standard, clock;
        unsigned char variant, ee, ef, a6;
    };
    for (const Case c :
         {Case{1, 0, 0, 0x01, 0x35, 0x10}, Case{1, 0, 1, 0x80, 0x3D, 0x00}, Case{1, 1, 0, 0x01, 0x31, 0x10},
          Case{1, 1, 1, 0x80, 0x39, 0x00}, Case{0, 0, 0, 0x81, 0x35, 0x00}, Case{0, 0, 1, 0x00, 0x3D, 0x00},
          Case{0, 1, 0, 0x81, 0x31, 0x00}, Case{0, 1, 1, 0x00, 0x39, 0x00}}) {
        SCOPED_TRACE(testing::Message()
                     << "standard " << c.standard << " clock " << c.clock << " variant " << int(c.variant));
        sim.clear_trace();
        Kova_ChangeToVideoClk(c.clock, c.standard, c.variant, 1, 0);
        const Lines all = ops();
        long at = find_op(all, "SR ED'=04");
        at = expect_masked(all, "SR EE", at, c.ee, 0x7E);
        at = expect_masked(all, "SR EF", at, c.ef, 0x02);
        expect_masked(all, "SR A6", at, c.a6, 0xEF);
        Kova_ChangeToVideoClk(c.clock, c.standard, c.variant, 0, 0);
    }
}

TEST_F(VideoClock, RowsOutsideTheTablesTouchNothingOnSwitchOn) {
    Kova_ChangeToVideoClk(0, 1, 0, 1, 3);
    Kova_ChangeToVideoClk(0, 0, 0, 1, 4);
    Kova_ChangeToVideoClk(0, 0, 2, 1, 0);
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(wExtClock, 0);
    // Switch-off reads no table: it always gets back to the own clock.
    Kova_ChangeToVideoClk(0, 1, 0, 1, 0);
    Kova_ChangeToVideoClk(0, 1, 9, 0, 9);
    EXPECT_EQ(wExtClock, 0);
    EXPECT_EQ(sim.get(Reg::sr(0xE4)), 0);
}

} // namespace
