// kovasim as a user finds it: its own options anywhere before "--", its help,
// clear errors before anything runs, and the lock-state record of --state-dir,
// including a sync lock undone from that record by a second process.
#include "kovasim_run.h"
#include "lock_state.h"
#include "program_run.h"
#include "register_dump.h"
#include "scratch_dir.h"
#include "sim_fixture.h"
#include "synclock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using kova::registers::Reg;

const std::string kBanner = "capview v0.1\n";

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

TEST(KovasimOptions, HelpIsKovasimsOwnAndCapviewsFollowsTheSeparator) {
    const KovasimRun help = run_kovasim({"-s", "3", "--help"}, false);
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("usage: kovasim")) << help.out;
    for (const char *option :
         {"--trace FILE", "--set REG=HEX", "--fail WHAT", "--dump FILE", "--state-dir DIR"})
        EXPECT_TRUE(contains(help.out, option)) << option;
    EXPECT_EQ(help.err, ""); // nothing ran

    const KovasimRun capview = run_kovasim({"--", "--help"});
    EXPECT_EQ(capview.status, 1);
    EXPECT_EQ(capview.out, kBanner + kUsageText);
}

TEST(KovasimOptions, OwnOptionsMayStandAmongCapviewsAndTheirValuesStayCapviews) {
    // --set after capview options still presets the register; -q and -v reach capview.
    const KovasimRun mixed = run_kovasim({"-v", "--set", "TVE47C=1234", "-q", "--set=SRE0=5A"});
    EXPECT_EQ(mixed.status, 0);
    EXPECT_EQ(mixed.out, kBanner + "Overlay mode stopped\n");
    EXPECT_EQ(mixed.reg("TVE47C"), 0x1234u);
    EXPECT_EQ(mixed.reg("SRE0"), 0x5Au);

    // A capview option's value is capview's even when it looks like a kovasim
    // option: "-s --dump" and the abbreviated "--sync --trace" give the mode
    // atoi("--dump") = 0; "-w--set" is -w with the attached value "--set".
    for (const std::vector<std::string> &args : {std::vector<std::string>{"-w", "100", "-s", "--dump", "-v"},
                                                 {"-w", "100", "--sync", "--trace", "-v"},
                                                 {"-w--set", "-w", "100", "-s", "--fail", "-v"}}) {
        const KovasimRun run = run_kovasim(args);
        EXPECT_EQ(run.status, 0) << args[2];
        EXPECT_TRUE(contains(run.out, "DestWidth:    100\n")) << run.out;
        EXPECT_TRUE(contains(run.out, "Synclock:     1 - 0\n")) << run.out;
        EXPECT_FALSE(run.trace.empty()) << args[2]; // kovasim's own --trace, given first, still holds
        EXPECT_FALSE(run.regs.empty()) << args[2];
    }

    // After "--" everything is capview's.
    const KovasimRun after = run_kovasim({"--", "--set", "GRE0=01"});
    EXPECT_EQ(after.status, 1);
    EXPECT_EQ(after.out, kBanner + kUsageText);
}

TEST(KovasimOptions, BadOptionsAndUnwritableFilesStopBeforeAnythingRuns) {
    ScratchDir scratch;
    const std::string file = scratch / "file";
    std::ofstream(file) << "x";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    for (const Case &c :
         {Case{{"--trace", ""}, "--trace: empty file name"}, Case{{"--dump="}, "--dump: empty file name"},
          Case{{"--state-dir", ""}, "--state-dir: empty directory name"},
          Case{{"-q", "--dump"}, "--dump needs FILE"}, Case{{"--help=yes"}, "--help takes no value"},
          Case{{"--fail", "disk"}, "--fail: disk: unknown"},
          Case{{"--dump", scratch / "missing/dump"}, "cannot write " + scratch / "missing/dump"},
          Case{{"--trace", scratch.path}, "cannot write " + scratch.path},
          Case{{"--state-dir", file + "/d"}, "--state-dir " + file + "/d"}}) {
        const KovasimRun run = run_kovasim(c.args, false);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_EQ(run.out, "") << c.message; // capview never started
        EXPECT_TRUE(contains(run.err, "kovasim: " + c.message)) << run.err;
        EXPECT_FALSE(contains(run.err, "register accesses")) << c.message;
    }
    EXPECT_FALSE(fs::exists(scratch / "missing"));
}

TEST(KovasimOptions, StateDirRecordsTheLockBesideAnUnchangedRun) {
    ScratchDir scratch;
    const std::string dir = scratch / "state";
    const std::string env = scratch / "env";
    setenv("KOVA_STATE_DIR", env.c_str(), 1);

    const KovasimRun plain = run_kovasim({"-s", "3"});
    const KovasimRun recorded = run_kovasim({"--state-dir", dir, "-s", "3"});
    EXPECT_FALSE(fs::exists(env)) << "kovasim records only with --state-dir";
    unsetenv("KOVA_STATE_DIR");
    EXPECT_TRUE(fs::exists(kova::tool::lock_state_path(dir)));
    const KovasimRun no_lock = run_kovasim({"--state-dir", scratch / "idle"});
    EXPECT_FALSE(fs::exists(kova::tool::lock_state_path(scratch / "idle")));

    fs::create_directories(scratch / "blocked/lock.state"); // a record that cannot be read
    const KovasimRun warned = run_kovasim({"--state-dir", scratch / "blocked", "-s", "3"});
    // kovasim records the lock for capview; the hardware capview records its own.
    const std::string recorder = program_run::hardware_flavour() ? "capview" : "kovasim";
    EXPECT_TRUE(contains(warned.err, recorder + ": warning: sync lock not recorded")) << warned.err;
    EXPECT_FALSE(contains(recorded.err, "warning")) << recorded.err;

    for (const KovasimRun *run : {&recorded, &warned}) {
        EXPECT_EQ(run->status, plain.status);
        EXPECT_EQ(run->out, plain.out);
        EXPECT_EQ(run->trace, plain.trace);
    }
    EXPECT_EQ(no_lock.status, 0);
}

class TwoProcessRecovery : public SimTest {};

// kovasim --state-dir D --dump d -s 3 locks and records; a fresh process with
// the dumped registers loads the record and undoes the lock.
TEST_F(TwoProcessRecovery, TheRecordUndoesTheLockOfAnEndedProcess) {
    ScratchDir scratch;
    const KovasimRun locked = run_kovasim({"--state-dir", scratch.path, "-s", "3"});
    ASSERT_EQ(locked.status, 0);
    ASSERT_NE(locked.reg("CR28"), 0u);

    for (const auto &[name, value] : locked.regs) {
        std::ostringstream text;
        text << name << '=' << std::hex << value;
        kova::registers::Setting setting;
        std::string error;
        ASSERT_TRUE(kova::registers::parse_setting(text.str(), setting, error)) << error;
        kova::sim::apply(sim, setting);
    }
    wSyncLock = wSyncLockGM = wExtClock = 0;
    map();
    std::string error;
    ASSERT_EQ(kova::tool::load_lock_state(scratch.path, error), kova::tool::LockStateLoad::Ok) << error;
    Kova_CleanupSyncLock();

    kova::sim::Controller power_on;
    for (unsigned i = 0; i < 14; ++i) {
        const std::uint8_t keep = bRegIndex[i] == 0x11 ? 0x7F : 0xFF; // the clean-up sets CR 11 bit 7
        EXPECT_EQ(sim.get(Reg::cr(bRegIndex[i])) & keep, power_on.get(Reg::cr(bRegIndex[i])) & keep)
            << "CR " << std::hex << int(bRegIndex[i]);
    }
    for (std::uint8_t cr = 0x28; cr <= 0x2B; ++cr)
        EXPECT_EQ(sim.get(Reg::cr(cr)), 0u);
    for (const Reg gr : {Reg::gr(0xB0), Reg::gr(0xB1, 0), Reg::gr(0xBA, 0)})
        EXPECT_EQ(sim.get(gr), power_on.get(gr)) << "GR " << std::hex << gr.index;
    for (unsigned index = 0xE428; index <= 0xE61A; index += 2) {
        const auto tv = static_cast<std::uint16_t>(index);
        const std::uint16_t keep = tv == 0xE46C ? 0xFFFE : 0xFFFF; // the colour check may flip bit 0
        EXPECT_EQ(sim.get_tv(tv) & keep, power_on.get_tv(tv) & keep) << "TV " << std::hex << index;
    }
}

} // namespace
