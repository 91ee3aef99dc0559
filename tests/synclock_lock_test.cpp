// The sync lock and its clean-up, the VCR setting, the TV standard read-back
// and the TV colour check.
#include "synclock_fixture.h"

#include <algorithm>

namespace {

const Lines kDacOff = {"GR 56'=04", "DAC=40", "GR 56'=00"}; // from GR 56 = 0, mask = 0
const Lines kDacOn = {"GR 56'=04", "DAC=00", "GR 56'=00"};
const Lines kFetchOn = {"GR DE=40", "SR DE=40", "GR 70=40"};
const Lines kFetchOff = {"GR DE=00", "SR DE=00", "GR 70=00"};
const Lines kPrologue = {"GR BF=01",  "GR BA'=80", "GR BA'=80", "GR BB'=02",
                         "GR BB'=06", "GR BF=00",  "GR B5=83"};

class SyncLock : public SyncLockTest {
  protected:
    void SetUp() override {
        SyncLockTest::SetUp();
        fill_tv_registers();
    }
};

// The TV register writes a lock makes after CR 28 to 2B, from the image pair
// and add-on row it should use, and the deferred value it should end with.
Lines tv_load(const unsigned short *tv16, const unsigned int *tv32, const unsigned short *addon) {
    Lines out;
    for (unsigned i = 0; i < 66; ++i)
        if (i != 21) out.push_back(tv_write(static_cast<unsigned short>(0xE428 + 4 * i), tv16[i]));
    for (unsigned i = 0; i < 59; ++i) {
        out.push_back(
            tv_write(static_cast<unsigned short>(0xE530 + 4 * i), static_cast<unsigned short>(tv32[i])));
        out.push_back(tv_write(static_cast<unsigned short>(0xE532 + 4 * i),
                               static_cast<unsigned short>(tv32[i] >> 16)));
    }
    for (unsigned slot = 0; slot < 34; ++slot)
        if (slot != 13 && addon[slot] != 0xFFFF) out.push_back(tv_write(wAddonTVindex[slot], addon[slot]));
    return out;
}

TEST_F(SyncLock, PalMode3Variant1AsTheProgramRunsIt) {
    sim.set(Reg::sr(0xEF), 0xC6);
    Kova_DoSyncLock(0, 0, 3, 1);
    const Lines all = ops();
    // Index, read, write only where the sequence writes masked; every read-modify-write
    // (SR 4A, SR 4F, SR EB, the fetch reset, CR 11) writes the index again.
    EXPECT_EQ(masked_writes(ops()),
              (Lines{"GR 56", "GR 56", "GR BA", "GR BA", "GR BB", "GR BB", "SR EF", "SR ED", "SR EE", "SR EF",
                     "SR A6", "GR 4E", "GR 4E", "GR 4E", "GR 4E", "GR 56", "GR 56"}));

    Lines expected = kDacOff;
    append(expected, kPrologue);
    expected.push_back("TV E47C=0344");
    // Extended-sync row 03 60 A0 56 03 06 AA 60 20 7F 00 00 3B; SR EF keeps bits 7, 6, 1 of C6.
    append(expected, {"SR E0=03", "SR E1=60", "SR E2=A0", "SR E4=56", "SR E5=03", "SR E6=06", "SR E7=AA",
                      "SR E8=60", "SR E9=20", "SR EA=7F", "SR EC=00", "SR EE=00", "SR EF'=FB"});
    append(expected, {"GR FA=00", "SR 4A=08", "GR FA=08", "SR 4F=C0", "SR 4F=D1"}); // output on
    expected.push_back("SR ED'=00");
    append(expected, {"SR EE'=00", "SR EF'=FF", "SR A6'=00"}); // clock pattern 00 / 0D keep F2 / 00
    append(expected, kFetchOn);
    append(expected, {"CR 1F=03", "CR 11=00", "CR 00=6F", "CR 01=59", "CR 02=59", "CR 03=8F", "CR 04=64",
                      "CR 05=83", "CR 06=6F", "CR 07=F0", "CR 09=60", "CR 10=50", "CR 11=0B", "CR 12=3F",
                      "CR 15=2A", "CR 16=6F", "CR 1F=00", "CR 11=8B"});
    append(expected, {"GR B0=42", "GR B1=D0", "GR BA=89", "GR B9=80", "GR B9=00"});
    append(expected, kFetchOff);
    append(expected, kFetchOn);
    expected.push_back("SR EB=80");
    append(expected, kFetchOff);
    append(expected, {"CR 28=64", "CR 29=90", "CR 2A=30", "CR 2B=82"});
    append(expected, tv_load(wPALTVReg16[1], dwPALTVReg32[1], wAddonPALTVReg[1][3]));
    expected.push_back("TV E47C=E08E"); // image entry 21; add-on slot 13 of the row is empty
    // TV colour check: E430 4000, E440 and E448 E031 (add-on), E5F6 012A; E454 reads 00FC,
    // bit 8 clear, so E46C (E40C from the add-on row) gets bit 0 flipped.
    append(expected, {"GR FA=05", "GR 4E'=02", "GR 4E'=02", "TV E430=4003", "TV E440=0020", "TV E448=0020",
                      "TV E5F6=0028", "TV E604=FF40", "TV E606=0000", "TV E604=0000", "TV E606=0000",
                      "TV E440=E031", "TV E448=E031", "TV E430=4000", "TV E5F6=012A", "GR FA=05", "GR 4E'=00",
                      "GR 4E'=00", "TV E46C=E40D"});
    append(expected, kDacOn);
    EXPECT_EQ(writes_of(all), expected);

    EXPECT_EQ(wSyncLock, 1);
    EXPECT_EQ(wSyncLockGM, 0);
    EXPECT_EQ(wVStandard, 0);
    EXPECT_EQ(sim.get_tv(0xE47C), 0xE08E);
    EXPECT_EQ(sim.page_fa(), 0x05);
    EXPECT_EQ(sim.get(Reg::port(0x3C6)), 0x00);

    // Snapshots: every register as it was, E47C in entry 21; high half read first.
    for (unsigned i = 0; i < 66; ++i)
        EXPECT_EQ(wTVReg16[i], tv_pattern(static_cast<unsigned short>(0xE428 + 4 * i))) << i;
    for (unsigned i = 0; i < 59; ++i)
        EXPECT_EQ(dwTVReg32[i], static_cast<unsigned>(tv_pattern(static_cast<unsigned short>(0xE532 + 4 * i)))
                                        << 16 |
                                    tv_pattern(static_cast<unsigned short>(0xE530 + 4 * i)))
            << i;
    const long e47c_read = find_op(all, tv_read(0xE47C, tv_pattern(0xE47C)));
    EXPECT_LT(e47c_read, find_op(all, "TV E47C=0344"));
    const long first32 = find_op(all, tv_read(0xE532, tv_pattern(0xE532)));
    ASSERT_NE(first32, -1);
    EXPECT_EQ(all[static_cast<std::size_t>(first32 + 1)], tv_read(0xE530, tv_pattern(0xE530)));
    EXPECT_EQ(all[static_cast<std::size_t>(first32 + 2)], "TV E530=0000");
    EXPECT_EQ(all[static_cast<std::size_t>(first32 + 3)], "TV E532=0000");
}

TEST_F(SyncLock, PacesItselfOnTheDisplay) {
    Kova_DoSyncLock(0, 0, 3, 1);
    const Lines all = ops();
    const long fetch_on = find_op(all, "GR DE=40", find_op(all, "GR B9=00"));
    const long eb = find_op(all, "SR EB=80");
    EXPECT_EQ(retrace_ends_between(all, fetch_on, eb), 2); // the second WaitCRTVSync starts inside a retrace
    const long last_addon = find_op(all, "TV E582=000D");
    const long deferred = find_op(all, "TV E47C=E08E");
    ASSERT_LT(last_addon, deferred);
    EXPECT_EQ(retrace_ends_between(all, last_addon, deferred), 15);
    EXPECT_EQ(all[static_cast<std::size_t>(deferred - 1)], "STATUS?00"); // right after the 15th retrace
    const long color_reads = find_op(all, "TV E440?E031");
    EXPECT_EQ(retrace_ends_between(all, deferred, color_reads), 6);
    EXPECT_EQ(retrace_ends_between(all, color_reads, find_op(all, "TV E454?00FC")), 2);
}

TEST_F(SyncLock, PalMode2LoadsTheKsImagesAndTheAddonDeferredValue) {
    Kova_DoSyncLock(0, 0, 2, 1);
    const Lines writes = writes_of(ops());
    const long crt = find_op(writes, "CR 00=71");
    ASSERT_NE(crt, -1);
    EXPECT_EQ(Lines(writes.begin() + crt, writes.begin() + crt + 3),
              (Lines{"CR 00=71", "CR 01=5F", "CR 02=5F"}));
    const long sync = find_op(writes, "CR 28=65");
    ASSERT_NE(sync, -1);
    EXPECT_EQ(Lines(writes.begin() + sync, writes.begin() + sync + 4),
              (Lines{"CR 28=65", "CR 29=90", "CR 2A=30", "CR 2B=82"}));
    const Lines load = tv_load(wKsPALTVReg16[1], dwKsPALTVReg32[1], wAddonPALTVReg[1][2]);
    EXPECT_EQ(Lines(writes.begin() + sync + 4, writes.begin() + sync + 4 + static_cast<long>(load.size())),
              load);
    EXPECT_NE(find_op(writes, "SR E2=FF"), -1);
    EXPECT_NE(find_op(writes, "SR E7=9F"), -1);
    EXPECT_EQ(sim.get_tv(0xE47C), 0xE09B); // add-on slot 13, not the image's E097
    EXPECT_EQ(sim.get_tv(0xE44C), 0xA53D); // a Ks image value that no add-on overrides
    EXPECT_EQ(sim.get_tv(0xE5F6), 0x0122); // high half of Ks 32-bit entry 49
    EXPECT_EQ(sim.get_tv(0xE4A0), 0x17DD);
}

TEST_F(SyncLock, NtscWithClockSelect1AndVariant0) {
    sim.set(Reg::sr(0xA6), 0xFF);
    Kova_DoSyncLock(1, 1, 0, 0);
    const Lines all = ops();
    long at = find_op(all, "SR ED'=00");
    ASSERT_NE(at, -1);
    at = expect_masked(all, "SR EE", at, 0x01, 0x7E);
    at = expect_masked(all, "SR EF", at, 0x01, 0xF2);
    expect_masked(all, "SR A6", at, 0x10, 0xEF);
    EXPECT_EQ(sim.get(Reg::sr(0xA6)), 0xFF);
    const Lines writes = writes_of(all);
    const long sync = find_op(writes, "CR 28=5C");
    ASSERT_NE(sync, -1);
    EXPECT_EQ(Lines(writes.begin() + sync, writes.begin() + sync + 4),
              (Lines{"CR 28=5C", "CR 29=E0", "CR 2A=EA", "CR 2B=81"}));
    EXPECT_EQ(sim.get_tv(0xE47C), 0xE07E); // add-on slot 13
    EXPECT_EQ(sim.get_tv(0xE454), 0x3700); // add-on slot 1 over the image's 4109
    EXPECT_EQ(sim.get(Reg::cr(0x00)), 0x66);
    EXPECT_EQ(wVStandard, 1);
    EXPECT_EQ(Kova_GetTVMode(), 1);
}

TEST_F(SyncLock, ClockPatternsForEveryStandardClockAndVariant) {
    struct Case {
        unsigned short standard, clock;
        unsigned char variant, ee, ef, a6;
    };
    for (const Case c :
         {Case{1, 0, 0, 0x01, 0x05, 0x10}, Case{1, 0, 1, 0x00, 0x0D, 0x00}, Case{1, 1, 0, 0x01, 0x01, 0x10},
          Case{1, 1, 1, 0x00, 0x09, 0x00}, Case{0, 0, 0, 0x01, 0x05, 0x00}, Case{0, 0, 1, 0x00, 0x0D, 0x00},
          Case{0, 1, 0, 0x81, 0x01, 0x00}, Case{0, 1, 1, 0x00, 0x09, 0x00}}) {
        SCOPED_TRACE(testing::Message()
                     << "standard " << c.standard << " clock " << c.clock << " variant " << int(c.variant));
        sim.clear_trace();
        sim.set(Reg::sr(0xEE), 0xFF);
        sim.set(Reg::sr(0xA6), 0x00);
        Kova_DoSyncLock(c.clock, c.standard, 0, c.variant);
        const Lines all = ops();
        long at = find_op(all, "SR ED'=00");
        at = expect_masked(all, "SR EE", at, c.ee, 0x7E);
        at = expect_masked(all, "SR EF", at, c.ef, 0xF2);
        expect_masked(all, "SR A6", at, c.a6, 0xEF);
        wSyncLock = 0;
    }
}

TEST_F(SyncLock, OtherClockSelectsLeaveTheClockPatternOut) {
    Kova_DoSyncLock(2, 0, 0, 0);
    const Lines writes = writes_of(ops());
    const long ed = find_op(writes, "SR ED'=00");
    ASSERT_NE(ed, -1);
    EXPECT_EQ(writes[static_cast<std::size_t>(ed + 1)], "GR DE=40"); // straight on to the CRT image
    EXPECT_EQ(find_op(writes, "SR A6'=00"), -1);
}

TEST_F(SyncLock, StandardTwoRunsOnlyThePrologueAndTheColourCheck) {
    Kova_DoSyncLock(0, 2, 0, 0);
    Lines expected = kDacOff;
    append(expected, kPrologue);
    // Colour check on the untouched registers: E454 reads BE54, bit 8 clear.
    append(expected, {"GR FA=05", "GR 4E'=02", "GR 4E'=02", "TV E430=BE33", "TV E440=0020", "TV E448=0020",
                      "TV E5F6=BEF4", "TV E604=FF40", "TV E606=0000", "TV E604=0000", "TV E606=0000",
                      "TV E440=BE40", "TV E448=BE48", "TV E430=BE30", "TV E5F6=BFF6", "GR FA=05", "GR 4E'=00",
                      "GR 4E'=00", "TV E46C=BE6D"});
    append(expected, kDacOn);
    EXPECT_EQ(writes_of(ops()), expected);
    EXPECT_EQ(wSyncLock, 0);
    EXPECT_EQ(wVStandard, 0xFFFF);
    EXPECT_EQ(sim.get(Reg::port(0x3C6)) & 0x40, 0); // DAC powered up
}

TEST_F(SyncLock, RowsOutsideTheTablesTouchNothing) {
    Kova_DoSyncLock(0, 1, 3, 0); // NTSC has no mode 3
    Kova_DoSyncLock(0, 0, 4, 0);
    Kova_DoSyncLock(0, 0, 0, 2);
    Kova_DoSyncLock(1, 1, 0, 255);
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(wSyncLock, 0);
    EXPECT_EQ(wVStandard, 0xFFFF);
    EXPECT_EQ(wTVReg16[21], 0);
}

TEST_F(SyncLock, CleanupBeforeAnyLockOrTwiceDoesNothing) {
    Kova_CleanupSyncLock();
    EXPECT_TRUE(trace().empty());
    Kova_DoSyncLock(0, 0, 1, 0);
    Kova_CleanupSyncLock();
    sim.clear_trace();
    Kova_CleanupSyncLock();
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(wSyncLock, 0);
}

TEST_F(SyncLock, CleanupPutsBackEveryTvRegisterButTheColourCheckOnes) {
    sim.set(Reg::sr(0xE3), 0x77);
    sim.set(Reg::sr(0xEF), 0xFF);
    sim.set(Reg::sr(0xED), 0xFF);
    sim.set(Reg::sr(0x4F, 0x08), 0x20);
    sim.set(Reg::cr(0x28), 0x12);
    sim.set(Reg::cr(0x1F), 0x44);
    sim.set(Reg::cr(0x00), 0x5F);
    sim.set(Reg::gr(0xB0), 0x11);
    Kova_DoSyncLock(0, 0, 3, 1);
    sim.clear_trace();
    Kova_CleanupSyncLock();
    const Lines all = ops();
    const Lines writes = writes_of(all);
    // SR EF, SR ED and SR 4F are masked writes; SR EB and SR 4A are read, then written plainly.
    EXPECT_EQ(masked_writes(ops()), (Lines{"GR 56", "GR 56", "SR EF", "SR ED", "SR 4F", "GR 4E", "GR 4E",
                                           "GR 4E", "GR 4E", "GR 56", "GR 56"}));

    for (unsigned index = 0xE428; index <= 0xE61A; index += 2) {
        const auto reg = static_cast<unsigned short>(index);
        if (reg == 0xE604 || reg == 0xE606 || reg == 0xE46C) continue;
        EXPECT_EQ(sim.get_tv(reg), tv_pattern(reg)) << std::hex << index;
    }
    EXPECT_EQ(sim.get_tv(0xE604), 0);
    EXPECT_EQ(sim.get_tv(0xE606), 0);
    EXPECT_EQ(sim.get_tv(0xE46C) & 0xFFFE, tv_pattern(0xE46C) & 0xFFFE);
    EXPECT_EQ(sim.get_tv(0xE47C), tv_pattern(0xE47C));

    for (unsigned char sr : {0xE0, 0xE1, 0xE2, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xEE})
        EXPECT_EQ(sim.get(Reg::sr(sr)), 0) << std::hex << int(sr);
    EXPECT_EQ(sim.get(Reg::sr(0xE3)), 0x77);
    EXPECT_EQ(sim.get(Reg::sr(0xEF)) & 0xFD, 0); // bit 1 kept
    EXPECT_EQ(sim.get(Reg::sr(0xED)), 0x9F);
    for (unsigned char cr : {0x28, 0x29, 0x2A, 0x2B})
        EXPECT_EQ(sim.get(Reg::cr(cr)), 0);
    EXPECT_EQ(sim.get(Reg::cr(0x00)), 0x5F);
    EXPECT_EQ(sim.get(Reg::cr(0x1F)), 0x44);
    EXPECT_EQ(sim.get(Reg::cr(0x11)), 0x80);
    EXPECT_EQ(sim.get(Reg::gr(0xB0)), 0x11);
    // Output off clears SR 4A bit 3 and SR 4F bits 0 and 4; bits 6 and 7 stay as the lock left them.
    EXPECT_EQ(sim.get(Reg::sr(0x4A, 0x00)), 0x00);
    EXPECT_EQ(sim.get(Reg::sr(0x4F, 0x08)), 0xE0);
    // Not put back: GR B5 and the bank-1 GR BA / BB of the prologue.
    EXPECT_EQ(sim.get(Reg::gr(0xB5)), 0x83);
    EXPECT_EQ(sim.get(Reg::gr(0xBB, 0x01)), 0x06);
    EXPECT_EQ(wSyncLock, 0);
    EXPECT_EQ(sim.page_fa(), 0x05);

    // Order: DAC off, E47C held, the CRT back, SR EB bit 7 cleared between fetch-reset brackets.
    Lines head = kDacOff;
    head.push_back("TV E47C=0344");
    EXPECT_EQ(Lines(writes.begin(), writes.begin() + 4), head);
    const long eb = find_op(all, "SR EB=00");
    ASSERT_NE(eb, -1);
    EXPECT_EQ(retrace_ends_between(all, eb, find_op(all, "GR DE=00", eb)), 2);
    const long clear_start = find_op(writes, "SR EF'=02");
    ASSERT_NE(clear_start, -1);
    EXPECT_EQ(Lines(writes.begin() + clear_start, writes.begin() + clear_start + 24),
              (Lines{"SR EF'=02", "SR E0=00",  "SR E1=00", "SR E2=00", "SR E4=00",  "SR E5=00",
                     "SR E6=00",  "SR E7=00",  "SR E8=00", "SR E9=00", "SR EA=00",  "SR EB=00",
                     "SR EC=00",  "SR ED'=9F", "SR EE=00", "CR 28=00", "CR 29=00",  "CR 2A=00",
                     "CR 2B=00",  "GR FA=00",  "SR 4A=00", "GR FA=08", "SR 4F'=E0", "GR FA=00"}));
    EXPECT_EQ(writes[static_cast<std::size_t>(clear_start + 24)], tv_write(0xE428, tv_pattern(0xE428)));
    const long last32 = find_op(writes, tv_write(0xE61A, tv_pattern(0xE61A)));
    const long deferred = find_op(all, tv_write(0xE47C, tv_pattern(0xE47C)));
    EXPECT_EQ(writes[static_cast<std::size_t>(last32 + 1)], tv_write(0xE47C, tv_pattern(0xE47C)));
    EXPECT_EQ(retrace_ends_between(all, find_op(all, tv_write(0xE61A, tv_pattern(0xE61A))), deferred), 15);
}

TEST_F(SyncLock, SaveAreasOutliveTheCleanup) {
    Kova_DoSyncLock(0, 0, 0, 0);
    Kova_CleanupSyncLock();
    EXPECT_EQ(wTVReg16[0], tv_pattern(0xE428));
    EXPECT_EQ(wTVReg16[21], tv_pattern(0xE47C));
    EXPECT_EQ(dwTVReg32[58], static_cast<unsigned>(tv_pattern(0xE61A)) << 16 | tv_pattern(0xE618));
    EXPECT_EQ(bOldRegCrt[1], 0x7F);
    EXPECT_EQ(wVStandard, 0);
}

TEST_F(SyncLock, VcrModeActsOnlyWhileLocked) {
    Kova_SetVCRMode(1);
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(wVCRMode, 0);

    Kova_DoSyncLock(0, 0, 3, 1);
    sim.clear_trace();
    Kova_SetVCRMode(1);
    Lines on = {"GR DE?00", "GR DE=40", "SR DE?00", "SR DE=40",     "GR 70?00",
                "GR 70=40", "SR EB?80", "SR EB=00", "TV E478=0330", "GR DE?40",
                "GR DE=00", "SR DE?40", "SR DE=00", "GR 70?40",     "GR 70=00"};
    EXPECT_EQ(ops(), on);
    EXPECT_TRUE(masked_writes(ops()).empty()); // SR EB: read, then index and plain write
    EXPECT_EQ(wVCRMode, 1);
    sim.clear_trace();
    Kova_SetVCRMode(0);
    EXPECT_EQ(writes_of(ops()), (Lines{"GR DE=40", "SR DE=40", "GR 70=40", "SR EB=80", "TV E478=0338",
                                       "GR DE=00", "SR DE=00", "GR 70=00"}));
    EXPECT_EQ(wVCRMode, 0);

    Kova_CleanupSyncLock();
    sim.clear_trace();
    Kova_SetVCRMode(1);
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(wVCRMode, 0);
}

TEST_F(SyncLock, TvModeFollowsBit12OfE438) {
    sim.set_tv(0xE438, 0x1000);
    EXPECT_EQ(Kova_GetTVMode(), 1);
    sim.set_tv(0xE438, 0xEFFF);
    EXPECT_EQ(Kova_GetTVMode(), 0);
    EXPECT_EQ(ops(), (Lines{"TV E438?1000", "TV E438?EFFF"}));
    Kova_DoSyncLock(0, 1, 2, 1);
    EXPECT_EQ(Kova_GetTVMode(), 1);
    Kova_CleanupSyncLock();
    Kova_DoSyncLock(0, 0, 0, 1);
    EXPECT_EQ(Kova_GetTVMode(), 0);
}

TEST_F(SyncLock, ColourCheckFlipsE46cBit0OnlyWhenE454Bit8ReadsZero) {
    sim.set_tv(0xE46C, 0x1234);
    sim.set(Reg::gr(0x4E, 0x05), 0x03);
    sim.script_reads(Reg::tv(0xE454), {0x0100});
    Kova_SetTVColor();
    EXPECT_EQ(sim.get_tv(0xE46C), 0x1234);
    EXPECT_EQ(sim.get(Reg::gr(0x4E, 0x05)), 0x01); // bit 1 cleared, bit 0 as before
    EXPECT_EQ(sim.page_fa(), 0x05);
    EXPECT_EQ(sim.get(Reg::port(0x3CE)), 0x4E);

    sim.set(Reg::gr(0x4E, 0x05), 0x02);
    sim.script_reads(Reg::tv(0xE454), {0xFEFF});
    Kova_SetTVColor();
    EXPECT_EQ(sim.get_tv(0xE46C), 0x1235);
    EXPECT_EQ(sim.get(Reg::gr(0x4E, 0x05)), 0x00);
    sim.script_reads(Reg::tv(0xE454), {0x0000});
    Kova_SetTVColor();
    EXPECT_EQ(sim.get_tv(0xE46C), 0x1234);
}

TEST_F(SyncLock, ColourCheckSequence) {
    sim.set_tv(0xE440, 0x1111);
    sim.set_tv(0xE448, 0x2222);
    sim.set_tv(0xE430, 0x3330);
    sim.set_tv(0xE5F6, 0xFFFF);
    sim.set_tv(0xE454, 0x0100);
    sim.set(Reg::gr(0x4E, 0x05), 0x81);
    Kova_SetTVColor();
    Lines no_status;
    for (const std::string &op : ops())
        if (op.rfind("STATUS", 0) != 0) no_status.push_back(op);
    EXPECT_EQ(
        no_status,
        (Lines{"TV E440?1111", "TV E448?2222", "TV E430?3330", "TV E5F6?FFFF", "GR FA=05",     "GR 4E?81",
               "GR 4E'?81",    "GR 4E'=83",    "GR 4E'?83",    "GR 4E'=82",    "TV E430=3333", "TV E440=0020",
               "TV E448=0020", "TV E5F6=FEFD", "TV E604=FF40", "TV E606=0000", "TV E454?0100", "TV E604=0000",
               "TV E606=0000", "TV E440=1111", "TV E448=2222", "TV E430=3330", "TV E5F6=FFFF", "GR FA=05",
               "GR 4E?82",     "GR 4E'=80",    "GR 4E'?80",    "GR 4E'=81"}));
}

TEST_F(SyncLock, DeadDisplayLockAndCleanupFinishWithWarnings) {
    sim.set_recording(false);
    sim.stick_bits(Reg::port(0x3DA), 0x08, 0x00); // the retrace never comes
    testing::internal::CaptureStdout();
    Kova_DoSyncLock(0, 0, 3, 1);
    const std::string lock_output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(lock_output,
              "Warning: WaitCRTVSync: display status did not change in 1000000 reads, carrying on\n"
              "Warning: WaitCRTVSync: display status did not change in 1000000 reads, carrying on\n"
              "Warning: sync lock settle: display status did not change in 1000000 reads, carrying on\n"
              "Warning: TV colour check: display status did not change in 1000000 reads, carrying on\n"
              "Warning: TV colour check: display status did not change in 1000000 reads, carrying on\n");
    EXPECT_EQ(wSyncLock, 1);
    EXPECT_EQ(wTVReg16[21], tv_pattern(0xE47C));
    EXPECT_EQ(dwTVReg32[58], static_cast<unsigned>(tv_pattern(0xE61A)) << 16 | tv_pattern(0xE618));
    EXPECT_EQ(sim.get_tv(0xE47C), 0xE08E);
    EXPECT_EQ(sim.get(Reg::port(0x3C6)) & 0x40, 0);

    sim.clear_read_scripts();
    sim.stick_bits(Reg::port(0x3DA), 0x08, 0x08); // a retrace that never ends
    testing::internal::CaptureStdout();
    Kova_CleanupSyncLock();
    const std::string cleanup_output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(cleanup_output.begin(), cleanup_output.end(), '\n'), 5);
    EXPECT_NE(cleanup_output.find("sync lock clean-up settle"), std::string::npos);
    EXPECT_EQ(wSyncLock, 0);
    EXPECT_EQ(sim.get_tv(0xE47C), tv_pattern(0xE47C));
    EXPECT_EQ(sim.get_tv(0xE5F6), tv_pattern(0xE5F6));
    EXPECT_EQ(sim.get(Reg::port(0x3C6)) & 0x40, 0);
}

TEST_F(SyncLock, ASecondLockSnapshotsTheLockedRegisters) {
    Kova_DoSyncLock(0, 0, 3, 1);
    Kova_DoSyncLock(0, 0, 3, 1);
    EXPECT_EQ(wTVReg16[0], 0xE428);  // the first lock's image, not the desktop value
    EXPECT_EQ(wTVReg16[21], 0xE08E); // the deferred value the first lock wrote
    Kova_CleanupSyncLock();
    EXPECT_EQ(sim.get_tv(0xE47C), 0xE08E);
}

} // namespace
