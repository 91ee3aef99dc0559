// kovasim used carelessly or with hostile input: it never removes what it did
// not create, keeps old output whole on failure or signal, refuses state
// directories it must not use, and says what went wrong.
#include "kovasim_run.h"
#include "program_run.h"
#include "scratch_dir.h"
#include "picture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

namespace {

namespace fs = std::filesystem;

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each row: kovasim's arguments (@ is the scratch directory), its status, a
// part of its standard error, and whether capview ran (the summary printed).
TEST(KovasimHostile, RefusalsAndWarnings) {
    ScratchDir scratch;
    std::ofstream(scratch / "cut.y4m") << "YUV4MPEG2 W16 H16 F25:1 C420jpeg\nFRAME\n"
                                       << std::string(384, '\x80') << "FRAME\n"
                                       << std::string(100, '\x80');
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
        bool ran;
    };
    const Case cases[] = {
        {{"--y4m", "-"}, 2, "--y4m: standard output is capview's", false},
        {{"--png", "-"}, 2, "--png: standard output is capview's", false},
        {{"--state-dir", "/sys", "-s", "3"}, 2, "--state-dir /sys: Permission denied", false},
        {{"--state-dir", "@/a/b"}, 2, "--state-dir @/a/b: No such file or directory", false},
        {{"--state-dir", "/run/kova"}, 2, "the hardware's state directory", false},
        {{"--trace", "/proc/version"}, 2, "/proc/version: cannot create its replacement in /proc: ", false},
        {{"--source", "@/cut.y4m", "--frames", "4", "--y4m", "/dev/null"},
         0,
         "2 frames end early or lack their header",
         true},
        {{"--source", "@/cut.y4m", "--frames", "4", "--y4m", "/dev/null"},
         0,
         "0 guard stops, 2 damaged source frames",
         true},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args;
        for (const std::string &arg : c.args)
            args.push_back(arg.starts_with("@") ? scratch.path + arg.substr(1) : arg);
        SCOPED_TRACE(args.front() + " " + args[1]);
        const KovasimRun run = run_kovasim(args, false);
        EXPECT_EQ(run.status, c.status);
        std::string message = c.message;
        if (const auto at = message.find('@'); at != std::string::npos) message.replace(at, 1, scratch.path);
        EXPECT_TRUE(contains(run.err, message)) << run.err;
        EXPECT_EQ(contains(run.err, "register accesses"), c.ran) << run.err;
    }
    EXPECT_FALSE(fs::exists(scratch / "a"));
}

TEST(KovasimHostile, OutputIsReplacedWholeAndNothingElseIsRemoved) {
    ScratchDir scratch;
    // A device node like /dev/full, of the test's own: a failing write leaves it in place.
    const std::string full = scratch / "full";
    ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    // (A kovasim built without libpng writes no picture: its y4m stream fails instead.)
    const bool with_png = kova::picture::png_supported();
    const KovasimRun png = run_kovasim({with_png ? "--png" : "--y4m", full}, false);
    EXPECT_EQ(png.status, 2);
    struct stat st {};
    ASSERT_EQ(stat(full.c_str(), &st), 0) << "the device node was removed";
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // A signal during the run (long: a stream of 100000 frames) keeps the old trace and dump; a run to the
    // end replaces them.
    const std::string trace = scratch / "T", dump = scratch / "D";
    std::ofstream(trace) << "old trace\n";
    std::ofstream(dump) << "old dump\n";
    for (const int sig : {SIGINT, SIGTERM}) {
        const program_run::Outcome stopped = program_run::run(
            KOVASIM_PATH, {"--trace", trace, "--dump", dump, "--frames", "100000", "--y4m", "/dev/null"},
            {false, "", {}, sig, 300});
        EXPECT_EQ(stopped.status, 128 + sig);
        EXPECT_EQ(read_file(trace), "old trace\n");
        EXPECT_EQ(read_file(dump), "old dump\n");
    }
    EXPECT_EQ(run_kovasim({"--trace", trace, "--dump", dump}, false).status, 0);
    EXPECT_TRUE(read_file(trace).starts_with("iopl 3\n"));
    EXPECT_TRUE(contains(read_file(dump), "GRE8="));
    std::size_t files = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(scratch.path))
        ++files;
    EXPECT_EQ(files, 3u) << "a temporary file was left behind";
}

// Standard output closed or full: kovasim's own files never take its place
// (capview's output, which has nowhere to go, lands in none of them), and
// kovasim's own text that cannot be written is an error.  Each row: the
// arguments (@ is the scratch directory), where standard output goes (- closed),
// the status and a part of standard error.
TEST(KovasimHostile, StandardOutputClosedOrFull) {
    struct Case {
        std::vector<std::string> args;
        const char *out_to;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"--trace", "@/T", "--dump", "@/D", "--", "-v"}, "-", 0, "kovasim: "},
        {{"--help"}, "-", 2, "kovasim: write error: Bad file descriptor"},
        {{"--version"}, "/dev/full", 2, "kovasim: write error: No space left on device"},
    };
    for (const Case &c : cases) {
        ScratchDir scratch;
        std::vector<std::string> args;
        for (const std::string &arg : c.args)
            args.push_back(arg.starts_with("@") ? scratch.path + arg.substr(1) : arg);
        SCOPED_TRACE(c.args.back());
        program_run::Input input;
        input.out_to = c.out_to;
        const program_run::Outcome run = program_run::run(KOVASIM_PATH, args, input);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(contains(run.err, c.message)) << run.err;
        if (fs::exists(scratch / "T")) {
            EXPECT_TRUE(read_file(scratch / "T").starts_with("iopl 3\n"));
        }
        for (const std::string &line : program_run::lines_of(read_file(scratch / "D")))
            EXPECT_TRUE(line.find('=') != std::string::npos && line.find(' ') == std::string::npos) << line;
    }
}

TEST(KovasimHostile, AStreamTooLargeForTheFileSystemIsRefusedUpFront) {
    ScratchDir scratch;
    constexpr std::uint64_t kFrameBytes = 6 + 1024 * 768 * 3 / 2; // the desktop's 1024x768
    struct statvfs fs {};
    ASSERT_EQ(statvfs(scratch.path.c_str(), &fs), 0);
    if (std::uint64_t{fs.f_bavail} * fs.f_frsize >= 100000 * kFrameBytes)
        GTEST_SKIP() << "the file system has the room for 100000 frames";
    const std::string stream = scratch / "big.y4m", state = scratch / "state";
    ASSERT_EQ(mkdir(state.c_str(), 0700), 0);
    // Refused before capview runs: no sync lock recorded.
    const KovasimRun run =
        run_kovasim({"--state-dir", state, "--frames", "100000", "--y4m", stream, "--", "-s", "3"}, false);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(fs::is_empty(state));
    EXPECT_FALSE(contains(run.err, "register accesses")) << run.err;
    EXPECT_TRUE(contains(run.err, "100000 frames of " + std::to_string(kFrameBytes) + " bytes need"))
        << run.err;
    EXPECT_FALSE(fs::exists(stream));
    EXPECT_TRUE(contains(run_kovasim({"--help"}, false).out, "1,179,654 at 1024x768"));
}

} // namespace
