// Behaviour that no other case reaches: table rows, address bits and option
// bounds where a wrong mask or a wrong limit would go unnoticed.
#include "kovasim_run.h"
#include "synclock.h"
#include "synclock_fixture.h"

#include <cstdio>
#include <string>

namespace {

using kova::registers::Reg;

class PinnedGenlock : public SyncLockTest {};

// The PAL mode 2 variant 0 row loads SR EF with bits 5-4 clear; the
// genlock-mode clock pattern must still set them (keep mask 0xC2, not 0xF2).
TEST_F(PinnedGenlock, PalMode2Variant0SetsSrEfBits5And4) {
    struct Case {
        unsigned short clock;
        unsigned char ef; // row 0x03 keep C2 over 00 gives 01; then pattern | 0x30 keep C2
    };
    for (const Case c : {Case{0, 0x35}, Case{1, 0x31}}) {
        SCOPED_TRACE(testing::Message() << "clock " << c.clock);
        ASSERT_EQ(bPALRegExtSync[0][2][12] & 0x30, 0); // the row this case is about
        sim.set(Reg::sr(0xEF), 0x00);
        Kova_SetSyncLockGM(c.clock, 0, 2, 0);
        EXPECT_EQ(sim.get(Reg::sr(0xEF)), c.ef);
        Kova_CleanupSyncLockGM();
    }
}

// A 1024x768 screen at 32 bits per pixel puts the buffer at 3 MiB: the
// capture start address (in 4-byte units) needs all four bits of CAP ED.
TEST(PinnedCapview, BufferAtThreeMiBUsesTheFourthAddressBit) {
    const KovasimRun run =
        run_kovasim({"--set", "CR01=7F", "--set", "CR12=FF", "--set", "CR07=40", "--set", "GR77=03"});
    ASSERT_EQ(run.status, 0);
    constexpr unsigned kStart = 3 * 1024 * 1024 / 4; // 0xC0000
    EXPECT_EQ(run.reg("GREB@00") | run.reg("GREC@00") << 8 | (run.reg("GRED@00") & 0x0F) << 16, kStart);
    EXPECT_EQ(run.reg("GRC0") | run.reg("GRC1") << 8 | run.reg("GRC2") << 16, kStart);
}

// -s 0 is a valid mode: the lock runs with the 640x480 rows.
TEST(PinnedCapview, SyncLockModeZeroUses640x480Tables) {
    const KovasimRun run = run_kovasim({"-s", "0", "-v"});
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Synclock:     1 - 0\n"), std::string::npos) << run.out;
    bool rows_differ = false;
    for (unsigned i = 0; i < 14; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "CR%02X", bRegIndex[i]);
        const unsigned protect = bRegIndex[i] == 0x11 ? 0x80 : 0x00; // set again after the override
        EXPECT_EQ(run.reg(name) & ~protect, bPALRegCrt[0][i] & ~protect) << name;
        rows_differ |= bPALRegCrt[0][i] != bPALRegCrt[3][i];
    }
    EXPECT_TRUE(rows_differ); // mode 3, the default, would show
}

} // namespace
