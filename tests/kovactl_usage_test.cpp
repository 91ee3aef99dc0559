// kovactl's command line: every kind of usage error (one line naming the
// argument and its range, exit status 64, no register touched), help and
// version, the confirmation before a write to the hardware, and the dry run.
#include "failure_names.h"
#include "kovactl_run.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const KovactlInput kHardware{false, false, ""};

struct UsageCase {
    std::vector<std::string> args;
    std::string message;
};

const UsageCase kUsageErrors[] = {
    {{}, "missing command; see kovactl help"},
    {{"frob"}, "unknown command \"frob\"; see kovactl help"},
    {{"--bogus", "status"}, "unknown option \"--bogus\"; see kovactl --help"},
    {{"--set", "GRE5=01", "status"}, "--set \"GRE5=01\": GRE5 is paged; name its page, as in GRE5@00"},
    {{"--fail", "disk", "status"}, "--fail: \"disk\" is not one of iopl, open, mmap-fb, mmap-mmio"},
    {{"--state-dir"}, "--state-dir needs an argument"},
    {{"--json=yes", "status"}, "--json takes no value"},
    {{"overlay"}, "overlay: missing subcommand, one of N, top"},
    {{"overlay", "2", "on"}, "overlay: N must be 0 or 1 (or top), not \"2\""},
    {{"overlay", "0", "spin"},
     "overlay N: unknown subcommand \"spin\"; expected one of on, off, init, cleanup, format, mode, window, "
     "source, scale, fifo, key"},
    {{"overlay", "0", "window", "1", "2", "3"},
     "overlay N window: missing BOTTOM (a number from 0 to 65535)"},
    {{"overlay", "0", "window", "1", "2", "3", "65536"},
     "overlay N window: BOTTOM must be a number from 0 to 65535, not \"65536\""},
    {{"overlay", "1", "key", "0x1000000"},
     "overlay N key: RGB must be a number from 0x0 to 0xFFFFFF, not \"0x1000000\""},
    {{"overlay", "1", "format", "8"}, "overlay N format: CODE must be a number from 0 to 7, not \"8\""},
    {{"overlay", "0", "scale", "zoom", "1", "1", "1", "1"},
     "overlay N scale: expected one of weave|bob, not \"zoom\""},
    {{"overlay", "top", "0x"}, "overlay top: N must be a number from 0 to 1, not \"0x\""},
    {{"capture", "0", "dest", "12abc", "0", "0", "0"},
     "capture N dest: ADDR must be a number from 0x0 to 0x5FFFFF, not \"12abc\""},
    {{"capture", "1", "dest", "0", "0", "0", "1024"},
     "capture N dest: PITCH must be a number from 0 to 1023, not \"1024\""},
    {{"capture", "0", "polarity", "odd"}, "capture N polarity: expected one of normal|inverted, not \"odd\""},
    {{"wait", "vsync", "-1"}, "wait vsync: COUNT must be a number from 1 to 1000, not \"-1\""},
    {{"wait", "vsync", "1", "2"}, "wait vsync: unexpected argument \"2\""},
    {{"dac"}, "dac: missing subcommand, one of crt, tv, ram, power"},
    {{"dac", "crt"}, "dac crt: missing off|on (one of off|on)"},
    {{"dac", "crt", "maybe"}, "dac crt: expected one of off|on, not \"maybe\""},
    {{"draw", "pixel", "1024", "0", "1"}, "draw pixel: (1024,0) lies outside the 1024x768 screen"},
    {{"blank", "0", "0", "1025", "1"}, "blank: (1025,1) lies outside the 1024x768 screen"},
    {{"synclock", "on", "3", "--standard", "ntsc"},
     "synclock on: MODE must be a number from 0 to 2 for NTSC, not \"3\""},
    {{"synclock", "on", "1", "--clock"}, "synclock on: --clock needs a number from 0 to 1"},
    {{"synclock", "on", "1", "--standard", "secam"},
     "synclock on: --standard must be one of pal|ntsc, not \"secam\""},
    {{"synclock", "on", "1", "--speed"},
     "synclock on: unknown option \"--speed\"; see kovactl help synclock"},
    {{"genlock", "output", "on", "4"}, "genlock output: MODE must be a number from 0 to 3, not \"4\""},
    {{"crt", "write", "ntsc", "3"}, "crt write: MODE must be a number from 0 to 2 for NTSC, not \"3\""},
    {{"reg", "get", "XX10"},
     "reg get: REG \"XX10\": unknown register; use GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp, TVxxxx or Pxxxx"},
    {{"reg", "get", "CAP2:10"}, "reg get: REG \"CAP2:10\": use CAP0:xx or CAP1:xx"},
    {{"reg", "get", "capture_address"},
     "reg get: REG \"capture_address\": name its capture engine, as in CAP0:CAPTURE_ADDRESS"},
    {{"reg", "get", "OVL1:capture_address"},
     "reg get: REG \"OVL1:capture_address\": CAPTURE_ADDRESS is not a register of OVLn"},
    {{"reg", "set", "CAP0:capture_address=12"},
     "reg set: CAP0:capture_address spans 3 registers; set them one by one"},
    {{"reg", "set", "GR10"}, "reg set: REG=HEX expected, not \"GR10\""},
    {{"reg", "set", "GR10=123"}, "reg set: HEX must be a hex value from 0 to 0xFF, not \"123\""},
    {{"reg", "set", "GR10=12", "0x100"}, "reg set: MASK must be a number from 0x0 to 0xFF, not \"0x100\""},
    {{"reg", "dump", "CR", "--page", "1"}, "reg dump: --page applies to GR, SR, OVL0 and OVL1 only"},
    {{"help", "nosuch"}, "help: unknown command \"nosuch\"; see kovactl help"},
};

TEST(KovactlUsage, ErrorsNameTheArgumentAndTouchNothing) {
    for (const UsageCase &c : kUsageErrors) {
        const KovactlRun run = run_kovactl(c.args);
        EXPECT_EQ(run.status, 64) << c.message;
        EXPECT_EQ(run.err, "kovactl: " + c.message + "\n");
        EXPECT_EQ(run.out, "");
        const bool screen_checked =
            !c.args.empty() && (c.args[0] == "draw" || c.args[0] == "blank"); // reads the screen mode first
        if (!screen_checked) {
            EXPECT_TRUE(run.trace.empty()) << c.message;
        }
    }
}

TEST(KovactlUsage, HelpAndVersionExitZero) {
    const KovactlRun list = run_kovactl({"--help"}, kHardware);
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out.rfind("usage: kovactl [--sim]", 0), 0u);
    EXPECT_NE(list.out.find("  capture N polarity normal|inverted"), std::string::npos);
    // --fail lists the simulated controller's failure names, each once and in its order.
    EXPECT_NE(list.out.find("make a platform call fail: " + kova::registers::failure_names() + "\n"),
              std::string::npos);
    EXPECT_EQ(run_kovactl({"help"}, kHardware).out, list.out);

    const KovactlRun one = run_kovactl({"help", "overlay", "window"}, kHardware);
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out,
              "kovactl overlay N window LEFT TOP RIGHT BOTTOM\n    window rectangle on the screen (writes)\n"
              "    N: 0 or 1\n    LEFT: a number from 0 to 65535\n    TOP: a number from 0 to 65535\n"
              "    RIGHT: a number from 0 to 65535\n    BOTTOM: a number from 0 to 65535\n");

    const KovactlRun version = run_kovactl({"--version"}, kHardware);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("kovactl ", 0), 0u);
}

// On the hardware a write asks first; none of these runs reaches the
// controller (no I/O privilege is asked for before the answer).
TEST(KovactlUsage, WritesOnTheHardwareNeedConfirmation) {
    const KovactlRun no_terminal = run_kovactl({"overlay", "0", "off"}, kHardware);
    EXPECT_EQ(no_terminal.status, 1);
    EXPECT_EQ(no_terminal.err,
              "kovactl: overlay N off writes to the controller; confirm with -y (standard input "
              "is not a terminal)\n");

    const KovactlRun declined = run_kovactl({"reg", "set", "GR10=01"}, KovactlInput{false, true, "n"});
    EXPECT_EQ(declined.status, 1);
    EXPECT_EQ(declined.err, "kovactl: reg set writes to the controller's registers. Continue? [y/N] "
                            "kovactl: aborted; nothing written\n");

    const KovactlRun sim_flags = run_kovactl({"--trace", "t", "status"}, kHardware);
    EXPECT_EQ(sim_flags.status, 64);
    EXPECT_EQ(sim_flags.err, "kovactl: --set, --fail, --trace and --dump need --sim\n");
}

TEST(KovactlUsage, DryRunPrintsTheTraceAndChangesNothing) {
    const KovactlRun real = run_kovactl({"--set", "GRDC=01", "overlay", "0", "on"});
    const KovactlRun dry = run_kovactl({"--set", "GRDC=01", "--dry-run", "overlay", "0", "on"});
    ASSERT_EQ(real.status, 0) << real.err;
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(real.reg("GRDC"), 0x85u);
    EXPECT_EQ(dry.reg("GRDC"), 0x01u);
    EXPECT_EQ(after_mapping(program_run::lines_of(dry.out)), real.trace);
    EXPECT_FALSE(real.trace.empty());
}

} // namespace
