// Common ground of the sync-lock suites: a mapped controller with the
// module's flags and save areas back at their load-time values, and a decoder
// that turns the raw trace into register operations ("SR E0=03", "TV E47C?E08E")
// so that expectations read like the register sequences they check.
#pragma once

#include "sim_fixture.h"
#include "synclock.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

using kova::sim::Reg;

// One register operation of the trace: "GR 56=04" (write), "GR 56?00" (read),
// "TV E47C=0344", "DAC=40" (port 0x3C6), "STATUS?08" (port 0x3DA).
inline Lines decode(const Lines &raw) {
    Lines ops;
    unsigned gr_index = 0, sr_index = 0, cr_index = 0;
    char buf[32];
    for (const std::string &line : raw) {
        std::istringstream in(line);
        std::string kind, where, value;
        in >> kind >> where >> value;
        const unsigned offset = static_cast<unsigned>(std::stoul(where, nullptr, 16));
        const unsigned v = static_cast<unsigned>(std::stoul(value, nullptr, 16));
        const bool write = kind[0] == 'w';
        const char op = write ? '=' : '?';
        if (kind == "w16" || kind == "r16") {
            std::snprintf(buf, sizeof buf, "TV %04X%c%04X", offset - 0xB0000, op, v);
        } else if (offset == 0x3CE && write) {
            gr_index = v;
            continue;
        } else if (offset == 0x3C4 && write) {
            sr_index = v;
            continue;
        } else if (offset == 0x3D4 && write) {
            cr_index = v;
            continue;
        } else if (offset == 0x3CF) {
            std::snprintf(buf, sizeof buf, "GR %02X%c%02X", gr_index, op, v);
        } else if (offset == 0x3C5) {
            std::snprintf(buf, sizeof buf, "SR %02X%c%02X", sr_index, op, v);
        } else if (offset == 0x3D5) {
            std::snprintf(buf, sizeof buf, "CR %02X%c%02X", cr_index, op, v);
        } else if (offset == 0x3C6) {
            std::snprintf(buf, sizeof buf, "DAC%c%02X", op, v);
        } else if (offset == 0x3DA) {
            std::snprintf(buf, sizeof buf, "STATUS%c%02X", op, v);
        } else {
            buf[0] = '\0';
            ops.push_back(line); // anything else stays raw
            continue;
        }
        ops.push_back(buf);
    }
    return ops;
}

// The writes among the operations, in order.
inline Lines writes_of(const Lines &ops) {
    Lines out;
    for (const std::string &op : ops)
        if (op.find('=') != std::string::npos) out.push_back(op);
    return out;
}

inline std::string tv_write(unsigned short index, unsigned short value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "TV %04X=%04X", index, value);
    return buf;
}
inline std::string reg_write(const char *file, unsigned index, unsigned value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%s %02X=%02X", file, index, value);
    return buf;
}

inline void append(Lines &to, const Lines &more) {
    to.insert(to.end(), more.begin(), more.end());
}

// Position of the first op equal to what, at or after from; -1 if none.
inline long find_op(const Lines &ops, const std::string &what, long from = 0) {
    for (long i = from; i < static_cast<long>(ops.size()); ++i)
        if (ops[static_cast<std::size_t>(i)] == what) return i;
    return -1;
}

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

// The bus shape of the register writes, which decode() hides: a masked write
// (Out_*_M) is index, read, write with no index write in between; a
// read-modify-write (ReadReg, then a plain write) and a plain write put the
// index first.  Lists, in order, the GR, SR and CR writes whose data write
// directly follows a read of the same data port: "GR 56", "SR EF".
inline Lines masked_shaped_writes(const Lines &raw) {
    Lines out;
    unsigned index[3] = {0, 0, 0}; // GR, SR, CR
    std::string previous;
    for (const std::string &line : raw) {
        std::istringstream in(line);
        std::string kind, where, value;
        in >> kind >> where >> value;
        const unsigned offset = static_cast<unsigned>(std::stoul(where, nullptr, 16));
        const unsigned v = static_cast<unsigned>(std::stoul(value, nullptr, 16));
        const int pair = offset == 0x3CE || offset == 0x3CF   ? 0
                         : offset == 0x3C4 || offset == 0x3C5 ? 1
                         : offset == 0x3D4 || offset == 0x3D5 ? 2
                                                              : -1;
        const bool data_port = offset == 0x3CF || offset == 0x3C5 || offset == 0x3D5;
        if (pair >= 0 && !data_port && kind == "w8") index[pair] = v;
        if (pair >= 0 && data_port && kind == "w8" && previous == "r8 " + where) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "%s %02X",
                          pair == 0   ? "GR"
                          : pair == 1 ? "SR"
                                      : "CR",
                          index[pair]);
            out.push_back(buf);
        }
        previous = kind + " " + where;
    }
    return out;
}

// The new value of a masked write: (value AND NOT keep) OR (old AND keep).
inline unsigned char merged(unsigned char value, unsigned char old, unsigned char keep) {
    return static_cast<unsigned char>((value & ~keep) | (old & keep));
}

// Checks that the first masked write of reg at or after from, seen as
// "reg?old" directly followed by "reg=new", gives new = merged(value, old,
// keep).  Returns the position after it.
inline long expect_masked(const Lines &ops, const std::string &reg, long from, unsigned char value,
                          unsigned char keep) {
    for (long i = from; i + 1 < static_cast<long>(ops.size()); ++i) {
        const std::string &read = ops[static_cast<std::size_t>(i)];
        if (read.rfind(reg + "?", 0) != 0) continue;
        const auto old = static_cast<unsigned char>(std::stoul(read.substr(reg.size() + 1), nullptr, 16));
        EXPECT_EQ(ops[static_cast<std::size_t>(i + 1)],
                  reg_write(reg.substr(0, 2).c_str(),
                            static_cast<unsigned>(std::stoul(reg.substr(3), nullptr, 16)),
                            merged(value, old, keep)))
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

    Lines ops() const { return decode(sim.trace()); }
};
