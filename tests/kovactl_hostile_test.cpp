// kovactl used carelessly or with hostile input: no empty or hardware state
// directory in a simulated run, no lock record it cannot trust or that holds
// another kind of lock, no lock it could not record, no output removed that
// it did not create, and a grab that a signal ends with its frames whole.
#include "kovactl_run.h"
#include "kovasim_run.h"
#include "privilege_hint.h"
#include "program_run.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// Refusals, most before any register is touched, and output that cannot be
// written.  Each row: the record in the state directory D, how to spoil it,
// the command (">&-" closes standard output, ">FILE" sends it there), its
// status and a part of its message.
TEST(KovactlHostile, RefusalsThatSayWhy) {
    unsetenv("KOVA_STATE_DIR");
    struct Case {
        const char *record; // "sync", "genlock" or "" (none)
        void (*spoil)(const std::string &dir);
        const char *command; // words; @ is D
        int status;
        std::string message;
    };
    static const auto nothing = [](const std::string &) {};
    static const auto symlinked = [](const std::string &d) {
        fs::rename(d + "/lock.state", d + "/elsewhere");
        fs::create_symlink(d + "/elsewhere", d + "/lock.state");
    };
    // clang-format off
    const Case cases[] = {
        {"", nothing, "--state-dir= status", 64, "--state-dir: empty directory name"},
        {"", nothing, "--state-dir=/sys synclock on 3", 1, "cannot be written: /sys: Permission denied"},
        {"", nothing, "--state-dir=@/a/b synclock on 3", 1, "@/a/b: No such file or directory"},
        {"", nothing, "--state-dir=/run/kova synclock off", 1, "/run/kova is the hardware's state directory"},
        {"genlock", nothing, "synclock off", 1, "holds a genlock-mode lock, not a sync lock"},
        {"genlock", nothing, "synclock vcr on", 1, "holds a genlock-mode lock, not a sync lock"},
        {"sync", nothing, "genlock output on 3", 1, "holds a sync lock, not a genlock-mode lock"},
        {"sync", [](const std::string &d) { chown((d + "/lock.state").c_str(), 65534, 65534); },
         "synclock off", 1, "is owned by another user (uid 65534)"},
        {"sync", [](const std::string &d) { chmod((d + "/lock.state").c_str(), 0666); }, "synclock off", 1,
         "lock.state is writable by group or others"},
        {"sync", [](const std::string &d) { chmod(d.c_str(), 0777); }, "synclock off", 1,
         "directory @ is writable by group or others"},
        {"sync", symlinked, "synclock off", 1, "is a symbolic link; the record must be a regular file: move"},
        {"", [](const std::string &d) { mkfifo((d + "/lock.state").c_str(), 0600); }, "synclock off", 1,
         "lock.state is not a regular file"},
        {"", nothing, "--fail iopl status", 1, kova::tool::privilege_hint()},
        {"", nothing, "grab -o -", 1, "kovasim --dump D, then kovactl --sim $(sed 's/^/--set=/' D) grab"},
        {"", nothing, "status >&-", 1, "kovactl: write error: Bad file descriptor"},
        {"", nothing, "--json status >/dev/full", 1, "kovactl: write error: No space left on device"},
        {"", nothing, "--version >/dev/full", 1, "kovactl: write error: No space left on device"},
        {"", nothing, "reg set GR72=07 >&-", 0, ""}, // nothing to write: a closed output is no error
    };
    // clang-format on
    for (const Case &c : cases) {
        ScratchDir scratch;
        const auto here = [&](std::string text) {
            if (const auto at = text.find('@'); at != std::string::npos) text.replace(at, 1, scratch.path);
            return text;
        };
        if (std::string(c.record) == "sync")
            run_kovactl({"--state-dir", scratch.path, "synclock", "on", "3"});
        if (std::string(c.record) == "genlock")
            run_kovactl({"--state-dir", scratch.path, "genlock", "on", "1"});
        c.spoil(scratch.path);
        std::vector<std::string> args{"--sim", "--state-dir", scratch.path};
        // A command that hangs is ended after 5 s (status 128 + SIGTERM).
        program_run::Input input{false, "", {}, SIGTERM, 5000};
        std::istringstream words(here(c.command));
        for (std::string word; words >> word;)
            if (word.starts_with(">"))
                input.out_to = word == ">&-" ? "-" : word.substr(1);
            else
                args.push_back(word);
        SCOPED_TRACE(here(c.command));
        const program_run::Outcome run = program_run::run(KOVACTL_PATH, args, input);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(contains(run.err, here(c.message))) << run.err;
        EXPECT_FALSE(fs::exists(scratch / "a"));
    }
    setenv("KOVA_STATE_DIR", "", 1);
    EXPECT_EQ(run_kovactl({"status"}).status, 64);
    unsetenv("KOVA_STATE_DIR");
}

// The hardware kovactl refused the I/O privilege for want of CAP_SYS_RAWIO
// (root without it, or any other user) names the capability, and leaves no
// register lock behind.
TEST(KovactlHostile, WithoutTheRawIoCapabilityTheHintNamesIt) {
    if (std::string(KOVA_TEST_EMULATOR) != "")
        GTEST_SKIP() << "setpriv is no program of the emulated machine";
    ScratchDir scratch;
    program_run::Input input;
    input.env = {"KOVA_STATE_DIR=" + scratch.path};
    std::vector<std::string> args{"status"};
    const char *program = KOVACTL_PATH;
    if (geteuid() == 0) { // dropped from the bounding set, root's exec of kovactl does not get it back
        if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv to drop CAP_SYS_RAWIO";
        args = {"--bounding-set=-sys_rawio", "--inh-caps=-sys_rawio", "--", KOVACTL_PATH, "status"};
        program = "/usr/bin/setpriv";
    }
    const program_run::Outcome run = program_run::run(program, args, input);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "I/O privilege refused (iopl 3); ")) << run.err;
    EXPECT_TRUE(contains(run.err, "the CAP_SYS_RAWIO capability")) << run.err;
    EXPECT_FALSE(fs::exists(scratch / "registers.lock"));
}

TEST(KovactlHostile, PicturesLeaveDevicesAloneAndAGrabStopsAtAFrameOnASignal) {
    ScratchDir scratch;
    const std::string full = scratch / "full.png"; // a device node like /dev/full
    ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    // The registers of capview's run, capture running, handed to kovactl.
    std::vector<std::string> grab_png;
    for (const auto &[name, value] : run_kovasim({}).regs) {
        char setting[32];
        std::snprintf(setting, sizeof setting, "--set=%s=%X", name.c_str(), value);
        grab_png.emplace_back(setting);
    }
    std::vector<std::string> grab_y4m = grab_png;
    grab_png.insert(grab_png.end(), {"grab", "--format", "png", "-o", full});
    for (const auto &command : {grab_png, std::vector<std::string>{"screenshot", full}}) {
        EXPECT_EQ(run_kovactl(command).status, 1) << command.back();
        struct stat st {};
        ASSERT_EQ(stat(full.c_str(), &st), 0) << "the device node was removed";
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }

    // 720x576 at 4:2:2: 2 bytes a pixel and the FRAME line.
    constexpr std::uintmax_t kFrame = 6 + 720 * 576 * 2;
    const std::string stream = scratch / "grab.y4m";
    std::vector<std::string> args{"--sim"};
    args.insert(args.end(), grab_y4m.begin(), grab_y4m.end());
    args.insert(args.end(), {"grab", "--frames", "2000", "-o", stream});
    const program_run::Outcome stopped = program_run::run(KOVACTL_PATH, args, {false, "", {}, SIGINT, 1000});
    EXPECT_EQ(stopped.status, 128 + SIGINT) << stopped.err;
    std::ifstream in(stream);
    std::string header;
    std::getline(in, header);
    const std::uintmax_t frames = (fs::file_size(stream) - header.size() - 1) / kFrame;
    EXPECT_EQ(fs::file_size(stream), header.size() + 1 + frames * kFrame) << "a frame cut short";
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, 2000u);
}

} // namespace
