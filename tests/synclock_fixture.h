// Common ground of the sync-lock suites: a mapped controller with the
// module's flags and save areas back at their load-time values, and readers
// of the register form of the trace (expected_trace.h).
#pragma once

#include "sim_fixture.h"
#include "synclock.h"

#include <cstdio>
#include <cstring>
#include <string>

using kova::registers::Reg;

// Ends of vertical retrace seen between two positions of the operations:
// status reads with bit 3 set followed by one with bit 3 clear.  A wait for n
// retraces (until bit 3 is 1, then until it is 0, n times) sees exactly n.
inline int retrace_ends_between(const Lines &ops, long from, long to) {
    int ends = 0;
    int previous = -1; // no status read yet
    for (long i = from; i < to; ++i) {
        const std::string &op = ops[static_cast<std::size_t>(i)];
        if (op.rfind("STATUS?", 0) != 0) continue;
        const int r = (std::stoul(op.substr(7), nullptr, 16) & 0x08) != 0 ? 1 : 0;
        if (previous == 1 && r == 0) ++ends;
        previous = r;
    }
    return ends;
}

// The new value of a masked write: (value AND NOT keep) OR (old AND keep).
inline unsigned char merged(unsigned char value, unsigned char old, unsigned char keep) {
    return static_cast<unsigned char>((value & ~keep) | (old & keep));
}

// Checks that the first masked write of reg ("SR EE") at or after from, seen
// as "reg?old" directly followed by "reg'=new", gives new = merged(value, old,
// keep).  Returns the position after it.
inline long expect_masked(const Lines &ops, const std::string &reg, long from, unsigned char value,
                          unsigned char keep) {
    for (long i = from; i + 1 < static_cast<long>(ops.size()); ++i) {
        const std::string &read = ops[static_cast<std::size_t>(i)];
        if (read.rfind(reg + "?", 0) != 0) continue;
        const auto old = static_cast<unsigned char>(std::stoul(read.substr(reg.size() + 1), nullptr, 16));
        char now[8];
        std::snprintf(now, sizeof now, "%02X", merged(value, old, keep));
        EXPECT_EQ(ops[static_cast<std::size_t>(i + 1)], reg + "'=" + now)
            << reg << " <- " << int(value) << " keep " << int(keep);
        return i + 2;
    }
    ADD_FAILURE() << "no masked write of " << reg;
    return from;
}

class SyncLockTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        reset_module_state();
        map();
    }

    // The binary also runs all suites in one process: put the module's state
    // back to what a fresh process has.
    static void reset_module_state() {
        wSyncLock = 0;
        wSyncLockGM = 0;
        wVStandard = 0xFFFF;
        wVCRMode = 0;
        wExtClock = 0;
        std::memset(wTVReg16, 0, sizeof wTVReg16);
        std::memset(dwTVReg32, 0, sizeof dwTVReg32);
        std::memset(bOldRegCrt, 0, sizeof bOldRegCrt);
        b3CE_B0 = b3CE_B1 = b3CE_BA = 0;
        bEA = bEB = bEC = bED = bEE = bEF = bA6 = 0;
        wE5F0 = wE5F2 = wE5F4 = wE5F6 = wE4EC = 0;
    }

    // Every TV register of the images (E428 to E61A) gets a value of its own.
    static unsigned short tv_pattern(unsigned short index) {
        return static_cast<unsigned short>(index ^ 0x5A00);
    }
    void fill_tv_registers() {
        for (unsigned index = 0xE428; index <= 0xE61A; index += 2)
            sim.set_tv(static_cast<unsigned short>(index), tv_pattern(static_cast<unsigned short>(index)));
    }
};
