// The genlock-mode lock, its video output switch and its clean-up.
#include "synclock_fixture.h"

namespace {

class Genlock : public SyncLockTest {
  protected:
    void SetUp() override {
        SyncLockTest::SetUp();
        fill_tv_registers();
    }
};

TEST_F(Genlock, E5F6AfterTheLockAndTheOutputSwitchForEveryRow) {
    struct Row {
        unsigned short standard, mode;
        unsigned char variant;
        unsigned short locked, on, off;
    };
    const Row rows[] = {
        {1, 0, 0, 0x0020, 0x012A, 0x0020}, {1, 1, 0, 0x0020, 0x012A, 0x0020},
        {1, 2, 0, 0x0020, 0x012A, 0x0020}, {1, 0, 1, 0x0030, 0x013A, 0x0030},
        {1, 1, 1, 0x0030, 0x013A, 0x0030}, {1, 2, 1, 0x0030, 0x013A, 0x0030},
        {0, 0, 0, 0x0020, 0x012A, 0x0020}, {0, 0, 1, 0x0020, 0x012A, 0x0020},
        {0, 1, 0, 0x013A, 0x013A, 0x0030}, {0, 1, 1, 0x013A, 0x013A, 0x0030},
        {0, 2, 0, 0x0020, 0x012A, 0x0020}, {0, 2, 1, 0x0020, 0x012A, 0x0020},
        {0, 3, 0, 0x013A, 0x013A, 0x0030}, {0, 3, 1, 0x012A, 0x012A, 0x0020},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message()
                     << "standard " << r.standard << " mode " << r.mode << " variant " << int(r.variant));
        Kova_SetSyncLockGM(0, r.standard, r.mode, r.variant);
        EXPECT_EQ(sim.get_tv(0xE5F6), r.locked);
        Kova_OutputSyncLockVideo(1, r.standard, r.mode, r.variant);
        EXPECT_EQ(sim.get_tv(0xE5F6), r.on);
        Kova_OutputSyncLockVideo(0, r.standard, r.mode, r.variant);
        EXPECT_EQ(sim.get_tv(0xE5F6), r.off);
        Kova_CleanupSyncLockGM();
        EXPECT_EQ(sim.get_tv(0xE5F6), tv_pattern(0xE5F6));
    }
}

TEST_F(Genlock, LockLeavesTheOutputOffAndMasksE5F6) {
    Kova_SetSyncLockGM(0, 1, 0, 0);
    const Lines all = ops();
    const Lines writes = writes_of(all);
    for (const std::string &w : writes) {
        EXPECT_NE(w.rfind("SR 4A", 0), 0u) << w;
        EXPECT_NE(w.rfind("SR 4F", 0), 0u) << w;
        if (w.rfind("GR FA", 0) == 0) { // only the colour check's bank
            EXPECT_EQ(w, "GR FA=05");
        }
    }
    // Extended-sync load directly followed by SR ED: no output switch in between.
    const long ef = find_op(writes, "SR EF'=31"); // 33 keep C2 over 00
    ASSERT_NE(ef, -1);
    EXPECT_EQ(writes[static_cast<std::size_t>(ef + 1)], "SR ED'=00");
    const long e5f4 = find_op(writes, "TV E5F4=F300");
    ASSERT_NE(e5f4, -1);
    EXPECT_EQ(writes[static_cast<std::size_t>(e5f4 + 1)], "TV E5F6=0020"); // 012A AND 0030
    EXPECT_EQ(dwTVReg32[49], static_cast<unsigned>(tv_pattern(0xE5F6)) << 16 | tv_pattern(0xE5F4));
    EXPECT_EQ(wSyncLockGM, 1);
    EXPECT_EQ(wSyncLock, 0);
    EXPECT_EQ(wVStandard, 1);
    EXPECT_EQ(sim.get_tv(0xE47C), 0xE07E);
}

TEST_F(Genlock, ClockPatternsForcePalSrEfBits4And5) {
    struct Case {
        unsigned short standard, clock;
        unsigned char variant, ee, ef, ef_keep, a6;
    };
    for (const Case c : {Case{1, 0, 0, 0x01, 0x05, 0xF2, 0x10}, Case{1, 1, 1, 0x00, 0x09, 0xF2, 0x00},
                         Case{0, 0, 0, 0x01, 0x35, 0xC2, 0x00}, Case{0, 0, 1, 0x00, 0x3D, 0xC2, 0x00},
                         Case{0, 1, 0, 0x81, 0x31, 0xC2, 0x00}, Case{0, 1, 1, 0x00, 0x39, 0xC2, 0x00}}) {
        SCOPED_TRACE(testing::Message()
                     << "standard " << c.standard << " clock " << c.clock << " variant " << int(c.variant));
        sim.clear_trace();
        sim.set(Reg::sr(0xEF), 0xFF);
        Kova_SetSyncLockGM(c.clock, c.standard, 1, c.variant);
        const Lines all = ops();
        long at = find_op(all, "SR ED'=00");
        at = expect_masked(all, "SR EE", at, c.ee, 0x7E);
        at = expect_masked(all, "SR EF", at, c.ef, c.ef_keep);
        expect_masked(all, "SR A6", at, c.a6, 0xEF);
        Kova_CleanupSyncLockGM();
    }
}

TEST_F(Genlock, OutputSwitchSequences) {
    sim.set(Reg::sr(0x4A, 0x00), 0x01);
    sim.set(Reg::sr(0x4F, 0x08), 0x20);
    Kova_SetSyncLockGM(0, 0, 2, 0);
    sim.clear_trace();
    Kova_OutputSyncLockVideo(1, 0, 2, 0);
    EXPECT_EQ(ops(),
              (Lines{"GR FA=00", "SR 4A?01", "SR 4A=09", "GR FA=08", "SR 4F?20", "SR 4F=E0", "SR 4F?E0",
                     "SR 4F=F1", "GR FA=00", "TV E5F6=012A"})); // plain PAL table, not Ks 0122
    EXPECT_TRUE(masked_writes(ops()).empty()); // each OR is a read, then index and plain write
    sim.clear_trace();
    Kova_OutputSyncLockVideo(0, 0, 2, 0);
    EXPECT_EQ(ops(), (Lines{"GR FA=00", "SR 4A?09", "SR 4A=01", "GR FA=08", "SR 4F?F1", "SR 4F=E0",
                            "GR FA=00", "TV E5F6=0020"}));
    EXPECT_TRUE(masked_writes(ops()).empty());     // SR 4F AND EE: not the clean-up's masked write
    EXPECT_EQ(sim.get(Reg::sr(0x4F, 0x08)), 0xE0); // bits 6 and 7 stay set
    EXPECT_EQ(sim.page_fa(), 0x00);
}

TEST_F(Genlock, OutputSwitchNeedsAGenlockLockAndARow) {
    Kova_OutputSyncLockVideo(1, 1, 0, 0);
    Kova_DoSyncLock(0, 1, 0, 0);
    sim.clear_trace();
    Kova_OutputSyncLockVideo(1, 1, 0, 0); // only the plain lock is active
    EXPECT_TRUE(trace().empty());
    Kova_CleanupSyncLock();

    Kova_SetSyncLockGM(0, 1, 0, 0);
    sim.clear_trace();
    Kova_OutputSyncLockVideo(1, 1, 3, 0); // NTSC has no mode 3
    Kova_OutputSyncLockVideo(1, 7, 4, 0); // any standard but 1 is PAL: no mode 4
    Kova_OutputSyncLockVideo(0, 0, 0, 2);
    EXPECT_TRUE(trace().empty());
    Kova_CleanupSyncLockGM();
    sim.clear_trace();
    Kova_OutputSyncLockVideo(1, 1, 0, 0);
    EXPECT_TRUE(trace().empty());
}

TEST_F(Genlock, CleanupRestoresTheTvRegistersButNotTheOutputSwitch) {
    sim.set(Reg::sr(0x4F, 0x08), 0x00);
    Kova_SetSyncLockGM(1, 0, 1, 1);
    Kova_OutputSyncLockVideo(1, 0, 1, 1);
    sim.clear_trace();
    Kova_CleanupSyncLockGM();
    const Lines writes = writes_of(ops());
    for (const std::string &w : writes) {
        EXPECT_NE(w.rfind("SR 4A", 0), 0u) << w;
        EXPECT_NE(w.rfind("SR 4F", 0), 0u) << w;
        if (w.rfind("GR FA", 0) == 0) {
            EXPECT_EQ(w, "GR FA=05");
        }
    }
    // Straight from CR 2B to the 16-bit restore.
    const long cr2b = find_op(writes, "CR 2B=00");
    ASSERT_NE(cr2b, -1);
    EXPECT_EQ(writes[static_cast<std::size_t>(cr2b + 1)], tv_write(0xE428, tv_pattern(0xE428)));
    for (unsigned index = 0xE428; index <= 0xE61A; index += 2) {
        const auto reg = static_cast<unsigned short>(index);
        if (reg == 0xE604 || reg == 0xE606 || reg == 0xE46C) continue;
        EXPECT_EQ(sim.get_tv(reg), tv_pattern(reg)) << std::hex << index;
    }
    EXPECT_EQ(sim.get(Reg::sr(0x4A, 0x00)), 0x08);
    EXPECT_EQ(sim.get(Reg::sr(0x4F, 0x08)), 0xD1);
    EXPECT_EQ(wSyncLockGM, 0);
    EXPECT_EQ(wVStandard, 0);
}

TEST_F(Genlock, EachCleanupEndsOnlyItsOwnLock) {
    Kova_SetSyncLockGM(0, 0, 0, 0);
    sim.clear_trace();
    Kova_CleanupSyncLock();
    Kova_SetVCRMode(1);
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(wSyncLockGM, 1);
    Kova_CleanupSyncLockGM();
    sim.clear_trace();
    Kova_CleanupSyncLockGM();
    EXPECT_TRUE(trace().empty());

    Kova_DoSyncLock(0, 0, 0, 0);
    sim.clear_trace();
    Kova_CleanupSyncLockGM();
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(wSyncLock, 1);
}

TEST_F(Genlock, StandardTwoAndRowsOutsideTheTables) {
    Kova_SetSyncLockGM(0, 0, 9, 0);
    Kova_SetSyncLockGM(0, 1, 0, 3);
    EXPECT_TRUE(trace().empty());
    Kova_SetSyncLockGM(0, 2, 9, 9); // no row is read for standard 2
    const Lines writes = writes_of(ops());
    ASSERT_GE(writes.size(), 10u);
    EXPECT_EQ(Lines(writes.begin(), writes.begin() + 10),
              (Lines{"GR 56'=04", "DAC=40", "GR 56'=00", "GR BF=01", "GR BA'=80", "GR BA'=80", "GR BB'=02",
                     "GR BB'=06", "GR BF=00", "GR B5=83"}));
    EXPECT_EQ(writes[10], "GR FA=05"); // straight on to the colour check
    EXPECT_EQ(Lines(writes.end() - 3, writes.end()), (Lines{"GR 56'=04", "DAC=00", "GR 56'=00"}));
    EXPECT_EQ(wSyncLockGM, 0);
    EXPECT_EQ(wVStandard, 0xFFFF);
}

} // namespace
