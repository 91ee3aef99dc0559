// capview end to end: kovasim run as a user would, compared on standard
// output, exit status, trace and the register state it leaves.
#include "kovasim_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kBanner = "capview v0.1\n";
// Default settings on the default 1024x768x16 screen: the buffer starts at
// A = 1536 KiB = 0x180000, which the engines take in 4-byte units (0x60000).
constexpr unsigned kBuffer = 1536 * 1024;

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// The overlay window's rectangle as programmed (left, top, right, bottom), 16 bits each.
std::vector<unsigned> overlay_window(const KovasimRun &run) {
    return {run.reg16("GRC5", "GRC6"), run.reg16("GRC9", "GRCA"), run.reg16("GRC7", "GRC8"),
            run.reg16("GRCB", "GRCC")};
}

TEST(Capview, DefaultRunShowsVideoIn720x576Window) {
    const KovasimRun run = run_kovasim({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kBanner);

    // Overlay window 0: source at A, pitch and fetch 720 pixels of 2 bytes, on, 1:1 both ways.
    EXPECT_EQ(run.reg("GRC0") | run.reg("GRC1") << 8 | run.reg("GRC2") << 16, kBuffer / 4);
    EXPECT_EQ(run.reg("GRC3"), 0xB4u);
    EXPECT_EQ(run.reg("GRCD"), 0xB4u);
    EXPECT_EQ(overlay_window(run), (std::vector<unsigned>{0, 0, 720, 576}));
    EXPECT_EQ(run.reg16("GRD3", "GRD4"), 0x1000u);
    EXPECT_EQ(run.reg16("GRD7", "GRD8"), 0x1000u);
    EXPECT_EQ(run.reg("GRDC") & 0x80, 0x80u);
    EXPECT_EQ(run.reg("SRDC") & 0x80, 0x00u);

    // Capture engine 0: pixels 0-720 of each field, lines 0-288, into A with pitch 720, 1:1, running.
    EXPECT_EQ(run.reg16("GR60@00", "GR61@00"), 1u);
    EXPECT_EQ(run.reg16("GR62@00", "GR63@00"), 1442u);
    EXPECT_EQ(run.reg16("GR64@00", "GR65@00"), 0u);
    EXPECT_EQ(run.reg16("GR66@00", "GR67@00"), 288u);
    EXPECT_EQ(run.reg("GREB@00") | run.reg("GREC@00") << 8 | (run.reg("GRED@00") & 0x0F) << 16, kBuffer / 4);
    EXPECT_EQ(run.reg("GREE@00"), 720u / 4);
    EXPECT_EQ(run.reg16("GR6A@00", "GR6B@00"), 0x1000u);
    EXPECT_EQ(run.reg16("GR6E@00", "GR6F@00"), 0x1000u);
    EXPECT_EQ(run.reg("GRE8") & 0x6D, 0x61u);

    // Guard 16 bytes before the end of the 720x576x2 buffer (GR 72 bit 2 clear).
    EXPECT_EQ(run.reg("GR45"), 0xFCu);
    EXPECT_EQ(run.reg("GR46"), 0x29u);
    EXPECT_EQ(run.reg("GR49") & 0x0F, 0x09u);
    EXPECT_EQ(run.reg("SRA2") & 0x04, 0x04u);

    // No double buffering, no sync lock.
    EXPECT_EQ(run.reg("GRAC") & 0x02, 0u);
    EXPECT_EQ(run.count("w8 003D4 28"), 0);

    // The program maps the controller before touching any register.
    ASSERT_GE(run.trace.size(), 2u);
    EXPECT_EQ(run.trace[0], "iopl 3");
    EXPECT_LT(run.find("close"), run.find("w8 003CE FA"));

    EXPECT_TRUE(contains(run.err, "register accesses")) << run.err;
    EXPECT_TRUE(contains(run.err, "overlay 0: on, window (0,0)-(720,576)")) << run.err;
    EXPECT_TRUE(contains(run.err, "capture 0: running")) << run.err;
}

TEST(Capview, DoubleBufferingHalvesThePitchAndAddsABackBuffer) {
    const KovasimRun run = run_kovasim({"-d"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(overlay_window(run), (std::vector<unsigned>{0, 0, 720, 576}));
    EXPECT_EQ(run.reg16("GRD7", "GRD8"), 0x0800u); // 576 source lines over 1152
    EXPECT_EQ(run.reg("GREE@00"), 360u / 4);
    const unsigned back = (kBuffer + 720 * 576) / 4;
    EXPECT_EQ(run.reg("GRA7") | run.reg("GRA8") << 8 | (run.reg("GRA9") & 0x0F) << 16, back);
    EXPECT_EQ(run.reg("GRAC") & 0x02, 0x02u);
    EXPECT_EQ(run.reg("GRA9") & 0x10, 0x10u);
    EXPECT_EQ(run.reg("GR45"), 0xFCu); // the guard still ends 2 x 720 x 576 bytes after A
    EXPECT_TRUE(contains(run.err, "double buffering: on")) << run.err;
}

TEST(Capview, DoubleBufferingRoundsTheWidthAfterTheReport) {
    const KovasimRun run = run_kovasim({"-d", "-w", "723", "-v"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.out, "DestWidth:    723\n")) << run.out;
    EXPECT_EQ(overlay_window(run)[2], 720u);
}

TEST(Capview, VerboseReport) {
    const KovasimRun run = run_kovasim({"-v", "-b", "-o", "-x", "5", "-Y", "-2", "-W", "640", "-H", "480"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kBanner + "Overlaymode:  1\nDestWidth:    720\nDestHeight:   576\nOffset x:     5\n"
                                 "Offset y:     0\nShrink x:     0\nShrink y:     -2\nBitClWidth:   0\n"
                                 "BitClHeight:  0\nSourceWidth:  640\nSourceHeight: 480\nDoubleBuffer: 0\n"
                                 "Blank Output: 1\nSynclock:     0 - 3\n");
}

TEST(Capview, ShrinkNarrowsTheWindowOnBothSides) {
    const KovasimRun run = run_kovasim({"-X", "10", "-Y", "6"});
    EXPECT_EQ(overlay_window(run), (std::vector<unsigned>{5, 3, 715, 573}));
    EXPECT_EQ(run.reg16("GR6A@00", "GR6B@00"), 710u * 4096 / 720);
    EXPECT_EQ(run.reg16("GR6E@00", "GR6F@00"), 285u * 4096 / 288);
}

TEST(Capview, NegativeShrinkAndOffsetsAreSignedAndTruncatedTo16Bits) {
    const KovasimRun shrink = run_kovasim({"-X", "-3"});
    EXPECT_EQ(overlay_window(shrink), (std::vector<unsigned>{0xFFFF, 0, 721, 576}));
    EXPECT_EQ(shrink.reg16("GR6A@00", "GR6B@00"), 723u * 4096 / 720);

    const KovasimRun offset = run_kovasim({"-x", "-100"});
    EXPECT_EQ(overlay_window(offset), (std::vector<unsigned>{0xFF9C, 0, 620, 576}));
}

TEST(Capview, BitClipMovesTheCaptureWindow) {
    const KovasimRun run = run_kovasim({"-B", "8", "-C", "4"});
    EXPECT_EQ(run.reg16("GR60@00", "GR61@00"), 17u);
    EXPECT_EQ(run.reg16("GR62@00", "GR63@00"), 2u * 728 + 2);
    EXPECT_EQ(run.reg16("GR64@00", "GR65@00"), 4u);
    EXPECT_EQ(run.reg16("GR66@00", "GR67@00"), 292u);
}

TEST(Capview, SyncLockRunsOnlyWithS) {
    const KovasimRun one = run_kovasim({"-s", "1", "-v"});
    EXPECT_EQ(one.status, 0);
    EXPECT_TRUE(contains(one.out, "Synclock:     1 - 1\n")) << one.out;
    EXPECT_GT(one.count("w8 003D4 28"), 0);
    EXPECT_TRUE(contains(one.err, "sync lock: sync lock, PAL mode 1 variant 1")) << one.err;

    // An out-of-range mode still turns the lock on, in the default mode.
    const KovasimRun seven = run_kovasim({"-s", "7", "-v"});
    EXPECT_EQ(seven.status, 0);
    EXPECT_TRUE(contains(seven.out, "Synclock:     1 - 3\n")) << seven.out;
    EXPECT_FALSE(contains(seven.out, "Usage")) << seven.out;
    EXPECT_TRUE(contains(seven.err, "sync lock: sync lock, PAL mode 3 variant 1")) << seven.err;
}

TEST(Capview, StopOnlySwitchesEverythingOff) {
    const KovasimRun run = run_kovasim(
        {"--set", "GRDC=86", "--set", "SRDC=84", "--set", "GRE8=61", "--set", "GRAC=02", "-q", "-v"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kBanner + "Overlay mode stopped\n");
    EXPECT_EQ(run.reg("GRDC"), 0x06u);
    EXPECT_EQ(run.reg("SRDC"), 0x04u);
    EXPECT_EQ(run.reg("GRE8") & 0x6D, 0u);
    EXPECT_EQ(run.reg("GRAC") & 0x02, 0u);
    EXPECT_EQ(run.count("w8 003CE C0"), 0); // no overlay source programmed
    EXPECT_EQ(run.count("w8 003D4 01"), 0); // the screen size is never read
    EXPECT_TRUE(contains(run.err, "overlay 0: off")) << run.err;
    EXPECT_TRUE(contains(run.err, "overlay 1: off")) << run.err;
    EXPECT_TRUE(contains(run.err, "capture 0: stopped")) << run.err;
}

TEST(Capview, RangeLimitsAreInclusive) {
    for (const std::vector<std::string> &accepted : {std::vector<std::string>{"-w", "1920"},
                                                     {"-h", "1080"},
                                                     {"-x", "-1920"},
                                                     {"-y", "-1080"},
                                                     {"-B", "1920"},
                                                     {"-X", "-1920"},
                                                     {"-C", "-1080"},
                                                     {"-Y", "1080"},
                                                     {"-W", "0"},
                                                     {"-H", "1080"},
                                                     {"-w", "abc"}}) {
        const KovasimRun run = run_kovasim(accepted);
        EXPECT_EQ(run.status, 0) << accepted[0] << " " << accepted[1];
        EXPECT_EQ(run.out, kBanner) << accepted[0] << " " << accepted[1];
    }
    for (const std::vector<std::string> &rejected : {std::vector<std::string>{"-w", "1921"},
                                                     {"-w", "-1"},
                                                     {"-h", "1081"},
                                                     {"-x", "-1921"},
                                                     {"-y", "-1081"},
                                                     {"-B", "-1921"},
                                                     {"-C", "1081"},
                                                     {"-X", "1921"},
                                                     {"-Y", "-1081"},
                                                     {"-W", "1921"},
                                                     {"-H", "-1"},
                                                     {"-w", "4294968016"},
                                                     {"-x", "-4294967396"}}) {
        const KovasimRun run = run_kovasim(rejected);
        EXPECT_EQ(run.status, 1) << rejected[0] << " " << rejected[1];
        EXPECT_EQ(run.out, kBanner + kUsageText) << rejected[0] << " " << rejected[1];
        EXPECT_EQ(run.trace, (std::vector<std::string>{"iopl 3"})) << rejected[0] << " " << rejected[1];
    }
}

TEST(Capview, BadOptionsPrintTheUsageTextOnly) {
    for (const std::vector<std::string> &bad : {std::vector<std::string>{"--", "--help"},
                                                {"-?"},
                                                {"-z"},
                                                {"--bogus"},
                                                {"-w"},
                                                {"--destwidth"},
                                                {"-w", "1921", "-v"},
                                                {"-w", "100", "-w", "1921"}}) {
        const KovasimRun run = run_kovasim(bad);
        EXPECT_EQ(run.status, 1) << bad[0];
        EXPECT_EQ(run.out, kBanner + kUsageText) << bad[0];
        EXPECT_EQ(run.trace, (std::vector<std::string>{"iopl 3"})) << bad[0];
    }
    EXPECT_TRUE(contains(run_kovasim({"-z"}).err, "capview: invalid option -- 'z'"));
    EXPECT_TRUE(contains(run_kovasim({"-w"}).err, "capview: option requires an argument -- 'w'"));
}

TEST(Capview, LastAcceptedValueWinsAndNonOptionsAreIgnored) {
    const KovasimRun run = run_kovasim({"-w", "100", "stray", "-w", "200"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(overlay_window(run)[2], 200u);
}

TEST(Capview, RefusedPrivilegeStopsBeforeAnyOtherPlatformCall) {
    const KovasimRun run = run_kovasim({"--fail", "iopl"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, kBanner);
    EXPECT_EQ(run.trace, (std::vector<std::string>{"iopl 3 FAIL"}));
    EXPECT_TRUE(contains(run.err, "I/O privilege")) << run.err;

    const KovasimRun bad = run_kovasim({"--fail", "iopl", "-w", "1921"});
    EXPECT_EQ(bad.status, 1); // options are still parsed first
    EXPECT_EQ(bad.out, kBanner + kUsageText);
}

TEST(Capview, FailedMappingTouchesNoRegister) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    for (const Case &c : {Case{{"--fail", "open"}, "Opening mem device failed!\n"},
                          Case{{"--fail", "mmap-fb"}, "Mapping linear frame buffer failed!\n"},
                          Case{{"--fail", "mmap-mmio"}, "Mapping MMIO failed!\n"},
                          Case{{"--set", "GR35=00"}, "Mapping linear frame buffer failed!\n"}}) {
        const KovasimRun run = run_kovasim(c.args);
        EXPECT_EQ(run.status, 2) << c.args[1];
        EXPECT_EQ(run.out, kBanner + c.message) << c.args[1];
        for (const std::string &line : run.trace)
            EXPECT_FALSE(line.starts_with("w") || line.starts_with("r")) << c.args[1] << ": " << line;
    }
}

TEST(Kovasim, BadSettingsAreRefusedBeforeAnythingRuns) {
    for (const std::vector<std::string> &bad : {std::vector<std::string>{"--set", "GRE5=01"},
                                                {"--set", "GR12@00=01"},
                                                {"--set", "XR12=01"},
                                                {"--set", "GR1=01"},
                                                {"--set", "GR12=100"},
                                                {"--set", "GR12"},
                                                {"--set", "TV12=0001"},
                                                {"--set", "P03CF=01"},
                                                {"--fail", "disk"},
                                                {"--trace"}}) {
        const KovasimRun run = run_kovasim(bad, false);
        EXPECT_EQ(run.status, 2) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
        EXPECT_EQ(run.out, "") << bad[0];
        EXPECT_TRUE(contains(run.err, "usage: kovasim")) << run.err;
    }
    EXPECT_TRUE(contains(run_kovasim({"--set", "GRE5=01"}, false).err, "GRE5@00"));
}

TEST(Kovasim, SettingsReachTheRegistersTheyName) {
    // A 640x480 screen at 32 bits per pixel: the buffer moves to 1200 KiB.
    const KovasimRun run = run_kovasim({"--set", "CR01=4F", "--set", "CR12=DF", "--set", "CR07=02", "--set",
                                        "GR77=03", "--set", "TVE47C=1234", "--set", "P03C6=5A", "--"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.reg("GRC0") | run.reg("GRC1") << 8 | run.reg("GRC2") << 16, 1200u * 1024 / 4);
    EXPECT_EQ(run.reg("TVE47C"), 0x1234u);
    EXPECT_EQ(run.reg("P03C6"), 0x5Au);
}

TEST(Kovasim, DumpFedBackReproducesTheState) {
    const KovasimRun first = run_kovasim({"-d", "-s", "2", "-x", "-7"});
    ASSERT_EQ(first.status, 0);
    std::vector<std::string> args;
    for (const auto &[name, value] : first.regs) {
        char setting[32];
        std::snprintf(setting, sizeof setting, "%s=%X", name.c_str(), value);
        args.insert(args.end(), {"--set", setting});
    }
    args.insert(args.end(), {"--fail", "iopl"}); // capview stops before touching anything
    const KovasimRun second = run_kovasim(args);
    EXPECT_EQ(second.status, 2);
    EXPECT_EQ(second.regs, first.regs);
}

TEST(Kovasim, TraceToStandardError) {
    const KovasimRun run = run_kovasim({"--trace", "-", "-q"}, false);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.err, "iopl 3\nout8 03CE 33\n")) << run.err;
}

} // namespace
