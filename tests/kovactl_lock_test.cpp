// A way back from a lock: a lock made by one process is recorded in the state
// directory and undone by a later one, from the registers that the first left.
#include "kovactl_run.h"
#include "kovasim_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class KovactlLock : public ::testing::Test {
  protected:
    std::string dir;

    void SetUp() override {
        char path[] = "/tmp/kovactl-lock-XXXXXX";
        ASSERT_NE(mkdtemp(path), nullptr);
        unsetenv("KOVA_STATE_DIR"); // the programs this test starts use only the directory given
        dir = path;
    }
    void TearDown() override {
        std::remove(record().c_str());
        rmdir(dir.c_str());
    }
    std::string record() const { return dir + "/lock.state"; }
    bool recorded() const {
        struct stat st {};
        return stat(record().c_str(), &st) == 0;
    }

    // kovactl --sim --state-dir DIR, on the registers a previous run left.
    KovactlRun next(const std::map<std::string, std::uint32_t> &left,
                    const std::vector<std::string> &command) {
        std::vector<std::string> args{"--state-dir", dir};
        for (const auto &[name, value] : left) {
            char setting[32];
            std::snprintf(setting, sizeof setting, "%s=%X", name.c_str(), value);
            args.insert(args.end(), {"--set", setting});
        }
        args.insert(args.end(), command.begin(), command.end());
        return run_kovactl(args);
    }
};

TEST_F(KovactlLock, ALaterProcessUndoesCapviewsSyncLock) {
    const KovasimRun locked = run_kovasim({"--state-dir", dir, "-s", "3"});
    ASSERT_EQ(locked.status, 0) << locked.err;
    ASSERT_TRUE(recorded());
    EXPECT_EQ(locked.reg("CR28"), 0x64u);

    const KovactlRun undone = next(locked.regs, {"synclock", "off"});
    ASSERT_EQ(undone.status, 0) << undone.err;
    EXPECT_FALSE(recorded());
    // Power-on values, but CR 11, whose bit 7 the clean-up always leaves set.
    for (int index = 0; index < 256; ++index) {
        char name[8];
        std::snprintf(name, sizeof name, "CR%02X", index);
        const std::uint32_t power_on = index == 0x01 ? 0x7F : index == 0x07 ? 0x40 : index == 0x12 ? 0xFF : 0;
        EXPECT_EQ(undone.reg(name), index == 0x11 ? 0x80u : power_on) << name;
    }
    for (const char *name : {"GRB0", "GRB1@00", "GRBA@00"})
        EXPECT_EQ(undone.reg(name), 0u) << name;
    for (const auto &[name, value] : undone.regs) {
        if (name.starts_with("TV") && name != "TVE46C") { // E46C: the colour check's bit
            EXPECT_EQ(value, 0u) << name;
        }
    }

    EXPECT_NE(next(undone.regs, {"status"}).out.find("sync lock: off"), std::string::npos);
}

TEST_F(KovactlLock, GenlockOutputAndCleanUpInSeparateProcesses) {
    const KovactlRun on = next({}, {"genlock", "on", "1"});
    ASSERT_EQ(on.status, 0) << on.err;
    EXPECT_TRUE(recorded());
    EXPECT_EQ(on.reg("TVE5F6"), 0x013Au);
    EXPECT_NE(
        next(on.regs, {"status"}).out.find("sync lock: genlock, PAL mode 1 variant 1, video output off"),
        std::string::npos);

    const KovactlRun output = next(on.regs, {"genlock", "output", "on", "1"});
    ASSERT_EQ(output.status, 0) << output.err;
    EXPECT_EQ(output.reg("SR4A") & 0x08, 0x08u);
    const KovactlRun quiet = next(output.regs, {"genlock", "output", "off", "1"});
    EXPECT_EQ(quiet.reg("TVE5F6"), 0x0030u);
    EXPECT_EQ(quiet.reg("SR4A") & 0x08, 0u);

    const KovactlRun off = next(quiet.regs, {"genlock", "off"});
    ASSERT_EQ(off.status, 0) << off.err;
    EXPECT_FALSE(recorded());
    EXPECT_EQ(off.reg("TVE5F6"), 0u);
    EXPECT_EQ(off.reg("CR28"), 0u);
}

TEST_F(KovactlLock, VideoClockAndVcrSettingFromTheRecord) {
    const KovactlRun clock = next({{"SRE4", 0x12}}, {"videoclock", "on", "0", "--standard", "ntsc"});
    ASSERT_EQ(clock.status, 0) << clock.err;
    EXPECT_EQ(clock.reg("SRE4"), 0x50u);
    EXPECT_NE(next(clock.regs, {"status"}).out.find("sync lock: video clock, NTSC mode 0 variant 1\n"),
              std::string::npos);
    const KovactlRun back = next(clock.regs, {"videoclock", "off"});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(back.reg("SRE4") | back.reg("SRE5") | back.reg("CR28"), 0u);
    EXPECT_FALSE(recorded());

    const KovactlRun lock = next({}, {"synclock", "on", "0"});
    const KovactlRun vcr = next(lock.regs, {"synclock", "vcr", "on"});
    ASSERT_EQ(vcr.status, 0) << vcr.err;
    EXPECT_EQ(vcr.reg("TVE478"), 0x0330u);
    EXPECT_NE(next(vcr.regs, {"status"}).out.find(", VCR\n"), std::string::npos);
    EXPECT_TRUE(recorded());

    // A dry run of the clean-up prints its trace and keeps the record.
    const KovactlRun dry = next(vcr.regs, {"--dry-run", "synclock", "off"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("w16 BE47C 0344\n"), std::string::npos);
    EXPECT_TRUE(recorded());
}

// Without a whole record nothing is touched, not even the mapping.
TEST_F(KovactlLock, AMissingOrDamagedRecordTouchesNoRegister) {
    const std::vector<std::vector<std::string>> commands = {
        {"synclock", "off"},   {"synclock", "vcr", "on"},
        {"genlock", "off"},    {"genlock", "output", "on", "1"},
        {"videoclock", "off"}, {"crt", "cleanup"}};
    for (const auto &command : commands) {
        const KovactlRun missing = next({}, command);
        EXPECT_EQ(missing.status, 1) << command[0];
        EXPECT_NE(missing.err.find("no lock recorded"), std::string::npos) << missing.err;
        EXPECT_TRUE(missing.trace.empty()) << command[0];
    }
    std::ofstream(record()) << "KOVALOCK but not a record";
    const KovactlRun damaged = next({}, {"synclock", "off"});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_TRUE(damaged.trace.empty());
    EXPECT_TRUE(recorded());

    // A simulated run never falls back to the hardware's record directory.
    KovactlInput simulated_alone;
    simulated_alone.twin_only = true; // on the hardware the record has its default directory
    const KovactlRun no_dir = run_kovactl({"synclock", "off"}, simulated_alone);
    EXPECT_EQ(no_dir.status, 1);
    EXPECT_EQ(no_dir.err, "kovactl: no lock-state record in a simulated run without --state-dir\n");
}

} // namespace
