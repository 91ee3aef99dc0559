// The register form of a trace: every bus shape has its own spelling, and
// decoding loses nothing.
#include "expected_trace.h"
#include "kovasim_run.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

struct Shape {
    const char *what;
    Lines raw, ops;
};

const Shape kShapes[] = {
    {"index write and data write", {"w8 003CE 56", "w8 003CF 04"}, {"GR 56=04"}},
    {"index write and data read", {"w8 003C4 DE", "r8 003C5 42"}, {"SR DE?42"}},
    {"masked write", {"w8 003D4 11", "r8 003D5 0F", "w8 003D5 8F"}, {"CR 11?0F", "CR 11'=8F"}},
    {"read-modify-write",
     {"w8 003C4 DE", "r8 003C5 F0", "w8 003C4 DE", "w8 003C5 F1"},
     {"SR DE?F0", "SR DE=F1"}},
    {"polled reads", {"w8 003CE E5", "r8 003CF 00", "r8 003CF 02"}, {"GR E5?00", "GR E5'?02"}},
    {"16-bit store", {"w16 003CE 03FA", "w8 003CE 43", "r8 003CF 80"}, {"GR FA:=03", "GR 43?80"}},
    {"16-bit store sets the index", {"w16 003C4 12A5", "r8 003C5 12"}, {"SR A5:=12", "SR A5'?12"}},
    {"lone index writes", {"w8 003CE FA", "w8 003C4 A4", "w8 003CE 43"}, {"GR FA", "SR A4", "GR 43"}},
    {"index of another pair between",
     {"w8 003CE 56", "r8 003CF 30", "w8 003CF 34", "r8 003C6 FF", "w8 003C6 BE", "w8 003CF 30"},
     {"GR 56?30", "GR 56'=34", "DAC?FF", "DAC=BE", "GR 56'=30"}},
    {"TV registers and status",
     {"w16 BE430 4003", "r16 BE454 00FC", "r8 003DA 08"},
     {"TV E430=4003", "TV E454?00FC", "STATUS?08"}},
    {"data access before any index", {"r8 003D5 FF", "w8 003CF 01"}, {"r8 003D5 FF", "w8 003CF 01"}},
    {"direct port I/O sets the index but stays as it is",
     {"iopl 3", "out8 03CE 33", "in8 03CF 00", "w8 003CF 01"},
     {"iopl 3", "out8 03CE 33", "in8 03CF 00", "GR 33'=01"}},
    {"everything else stays as it is",
     {"open /dev/mem", "mmap E0000000 400000 FAIL", "r8 003CC FC", "w32 B0200 11223344", "w8 BFFFF 7E",
      "r16 003CE 03FA", "close"},
     {"open /dev/mem", "mmap E0000000 400000 FAIL", "r8 003CC FC", "w32 B0200 11223344", "w8 BFFFF 7E",
      "r16 003CE 03FA", "close"}},
};

TEST(ExpectedTrace, EveryShapeHasItsSpellingAndEncodesBack) {
    for (const Shape &shape : kShapes) {
        EXPECT_EQ(decode(shape.raw), shape.ops) << shape.what;
        EXPECT_EQ(encode(shape.ops), shape.raw) << shape.what;
    }
}

TEST(ExpectedTrace, BuildersSpellTheSameOperations) {
    EXPECT_EQ(reg_masked(CR, 0x11, 0x0F, 0x8F) + reg_write(SR, 0xDE, 0xF1) + reg_store16(GR, 0xFA, 0x03),
              (Lines{"CR 11?0F", "CR 11'=8F", "SR DE=F1", "GR FA:=03"}));
    EXPECT_EQ(reg_polled(GR, 0x43, {{0x00, 2}, {0x80, 1}}), (Lines{"GR 43?00", "GR 43'?00", "GR 43'?80"}));
    EXPECT_EQ(reg_polled(GR, 0x43, {{0x00, 0}, {0x80, 2}}), (Lines{"GR 43?80", "GR 43'?80"}));
    EXPECT_EQ((Lines{tv_write(0xE47C, 0xE08E), tv_read(0xE5F6, 0x0100)}),
              (Lines{"TV E47C=E08E", "TV E5F6?0100"}));
    EXPECT_EQ(masked_writes({"GR 56?00", "GR 56'=04", "SR DE?F0", "SR DE=F1", "GR E5'?00", "GR E5'=01"}),
              (Lines{"GR 56", "GR E5"}));
}

// Whole program runs, with and without the sync lock: decoding them and
// encoding the result gives the trace back, and no access to the register
// pairs, the DAC mask, the status port or the TV registers stays in bus form.
TEST(ExpectedTrace, ProgramRunsDecodeWithoutLoss) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{}, {"-s", "1", "-v"}, {"-d", "-b", "-o", "-B", "8"}, {"-q"}}) {
        const KovasimRun run = run_kovasim(args);
        ASSERT_EQ(run.status, 0);
        ASSERT_GT(run.trace.size(), 50U);
        const Lines ops = decode(run.trace);
        EXPECT_EQ(encode(ops), run.trace);
        for (const std::string &op : ops) {
            unsigned address = 0;
            char width[3] = {};
            if (std::sscanf(op.c_str(), "%*[wr]%2[0-9] %X", width, &address) != 2) continue;
            const bool register_port = address == 0x3C4 || address == 0x3C5 || address == 0x3C6 ||
                                       address == 0x3CE || address == 0x3CF || address == 0x3D4 ||
                                       address == 0x3D5 || address == 0x3DA;
            const bool tv_register = address >= 0xB0000 && std::string(width) == "16";
            EXPECT_FALSE(register_port || tv_register) << op;
        }
    }
}

} // namespace
