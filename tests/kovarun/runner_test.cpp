// kovarun on test programs: the instruction forms with their partial-register
// results and trace lines, the refusals, the hardware capview against
// kovasim, and hostile programs.
#include "program_run.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using program_run::lines_of;
using program_run::Outcome;

bool contains(const std::vector<std::string> &lines, const std::string &line) {
    for (const std::string &l : lines)
        if (l == line) return true;
    return false;
}

struct Traced {
    Outcome outcome;
    std::vector<std::string> trace;
};

Traced run_traced(std::vector<std::string> args) {
    const std::string trace = program_run::temp_file("kovarun-trace");
    args.insert(args.begin(), {"--trace", trace});
    Traced t{program_run::run(KOVARUN_PATH, args), {}};
    t.trace = lines_of(program_run::take(trace));
    return t;
}

// Each form: what the test program prints for it, per word size, and a trace
// line that the access must leave.
struct Form {
    const char *name;
    const char *value64, *value32; // nullptr: not a form of that word size
    const char *trace;
};
const Form kForms[] = {
    {"al", "11223344556677d4", "112233d4", "r8 20000 D4"},
    {"ah", "112233445566c388", "1122c344", "r8 20001 C3"},
    {"ax", "112233445566c3d4", "1122c3d4", "r16 20002 C3D4"},
    {"eax", "a1b2c3d4", "a1b2c3d4", "r32 20004 A1B2C3D4"},
    {"movzbl", "85", "85", "w8 20008 85"},
    {"movzbw", "1122334455660085", "11220085", "r8 20008 85"},
    {"movzwl", "8234", "8234", "w16 2000A 8234"},
    {"movsbl", "ffffff85", "ffffff85", "w8 20001 C3"},
    {"movswl", "ffff8234", "ffff8234", "r16 2000A 8234"},
    {"indexed", "89abcdef", "89abcdef", "w32 2000C 89ABCDEF"},
    {"movsbq", "ffffffffffffff85", nullptr, "w16 20002 C3D4"},
    {"movslq", "ffffffff89abcdef", nullptr, "r32 2000C 89ABCDEF"},
    {"r9b", "11223344556677d4", nullptr, "w8 20000 D4"},
    {"r10d", "a1b2c3d4", nullptr, "w32 20004 A1B2C3D4"},
    {"inb-dx", "11223344556677e0", "112233e0", "in8 03CF E0"},
    {"inb-imm", "1122334455667788", "11223344", "out8 0080 EF"},
    {"inw-dx", "112233445566beef", "1122beef", "in8 0081 BE"},
};

void check_forms(const char *program, bool i386) {
    SCOPED_TRACE(program);
    const Traced t = run_traced({"--", program});
    ASSERT_EQ(t.outcome.status, 0) << t.outcome.err;
    const std::vector<std::string> out = lines_of(t.outcome.out);
    for (const Form &f : kForms) {
        const char *value = i386 ? f.value32 : f.value64;
        if (value == nullptr) continue;
        EXPECT_TRUE(contains(out, std::string(f.name) + " " + value)) << f.name << "\n" << t.outcome.out;
        EXPECT_TRUE(contains(t.trace, f.trace)) << f.trace;
    }
    EXPECT_TRUE(contains(t.trace, "iopl 3"));
    EXPECT_TRUE(contains(t.trace, "mmap E0800000 100000"));
    EXPECT_TRUE(contains(t.trace, "close"));
}

TEST(Kovarun, InstructionFormsWithPartialRegisters) {
    check_forms(FORMS_PATH, false);
    if (std::string(FORMS32_PATH).empty())
        GTEST_SKIP() << "no i386 build of the test program: the compiler cannot build -m32 programs (install "
                        "g++-multilib)";
    check_forms(FORMS32_PATH, true);
}

TEST(Kovarun, MemoryDevicesAndPrivilegeNeverReachTheKernel) {
    const Traced t = run_traced({"--", FORMS_PATH, "devices"});
    ASSERT_EQ(t.outcome.status, 0) << t.outcome.err;
    EXPECT_EQ(t.outcome.out, "iopl 0\nioperm 0\n/dev/mem harmless\n/dev/port EACCES\nlink harmless\n"
                             "child harmless\n");
    int opens = 0;
    for (const std::string &line : t.trace)
        opens += line == "open /dev/mem";
    EXPECT_EQ(opens, 3); // the device, the link to it and the child's
    EXPECT_NE(t.outcome.err.find("opening /dev/port refused"), std::string::npos) << t.outcome.err;
}

TEST(Kovarun, UnservedFaultsAndStatuses) {
    const Outcome unsupported = program_run::run(KOVARUN_PATH, {"--", FORMS_PATH, "unsupported"});
    EXPECT_EQ(unsupported.status, 3);
    EXPECT_NE(unsupported.err.find("cannot perform 'add byte ptr ["), std::string::npos) << unsupported.err;
    EXPECT_EQ(unsupported.out, "");

    struct Case {
        std::vector<std::string> args;
        int status;
        const char *err;
    };
    const Case cases[] = {
        {{"--", "/bin/sh", "-c", "echo out; echo err >&2; exit 7"}, 7, "err\n"},
        {{"--", "/bin/sh", "-c", "kill -TERM $$"}, 128 + 15, ""},
        {{"--", "kovarun-no-such-program"}, 2, "kovarun: kovarun-no-such-program: no such program\n"},
        {{"--bogus", "--", "/bin/true"}, 2, "kovarun: --bogus: unknown option\n"},
        {{"--"}, 2, "kovarun: no PROGRAM given\n"},
        // A traced kovarun cannot trace: the refusal names the reason.
        {{"--", KOVARUN_PATH, "--", "/bin/true"}, 2, "kovarun: ptrace is not permitted: "},
        // The device check reads the tree given, KOVA_SKIP_DEVICE_CHECK or not.
        {{"--sysfs", "/nonexistent", "--", CAPVIEW_PATH},
         2,
         "capview: device check: cannot read /nonexistent/"},
    };
    setenv("KOVA_SKIP_DEVICE_CHECK", "1", 1); // kovarun's, not passed on
    for (const Case &c : cases) {
        const Outcome o = program_run::run(KOVARUN_PATH, c.args);
        EXPECT_EQ(o.status, c.status) << c.args.back();
        EXPECT_EQ(o.err.substr(0, std::string(c.err).size()), c.err) << o.err;
    }
    unsetenv("KOVA_SKIP_DEVICE_CHECK");

    // With no state directory named, the program gets a private one for the
    // run, never the hardware's default, where a run on the card would find it.
    const char *named = std::getenv("KOVA_STATE_DIR");
    const std::string saved = named != nullptr ? named : "";
    unsetenv("KOVA_STATE_DIR");
    const Outcome o =
        program_run::run(KOVARUN_PATH, {"--", "/bin/sh", "-c",
                                        "test -d \"$KOVA_STATE_DIR\" && printf %s \"$KOVA_STATE_DIR\""});
    if (!saved.empty()) setenv("KOVA_STATE_DIR", saved.c_str(), 1);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out, "");
    EXPECT_EQ(o.out.find("/run/kova"), std::string::npos) << o.out;
    EXPECT_FALSE(std::filesystem::exists(o.out)) << o.out; // removed after the run
}

// A program's children, signals in each phase of the run, and refusals: each
// row's kovarun returns promptly (each program, or the frames, would take
// 15 s or more) with its status and leaves nothing in its temporary
// directory.  In the arguments @ is a scratch directory.
TEST(KovarunHostile, ChildrenSignalsAndRefusals) {
    ScratchDir scratch;
    const std::string tmp = scratch / "tmp";
    std::filesystem::create_directory(tmp);
    std::filesystem::create_directory(scratch / "dir");
    std::ofstream(scratch / "plain") << "echo never run\n";
    mkdir((scratch / "state").c_str(), 0700);
    struct statvfs fs {};
    const bool room_for_a_big_stream = statvfs(scratch.path.c_str(), &fs) != 0 ||
                                       std::uint64_t{fs.f_bavail} * fs.f_frsize >= 100000 * 1179654ULL;
    const char *sh = "/bin/sh";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err; // a part of standard error
        std::string out; // standard output; "PID" for a descendant's pid, which must be gone; "?" unchecked
        int signal, signals;
    };
    const Case cases[] = {
        // The program's end ends the run; a descendant still running is killed, or waited for.
        {{"--", sh, "-c", "sleep 20 & echo $!; exit 5"}, 5, "", "PID", 0, 0},
        {{"--wait-children", "--", sh, "-c", "(sleep 0.3; echo late) & exit 5"}, 5, "", "late\n", 0, 0},
        // The first signal is the program's; a second stops the run, the trace unwritten.
        {{"--", sh, "-c", "trap 'echo got; exit 7' INT; sleep 20 & wait"}, 7, "", "got\n", SIGINT, 1},
        {{"--trace", "@/trace", "--", sh, "-c", "trap '' TERM; sleep 20 & echo $!; wait"},
         128 + SIGTERM,
         "",
         "PID",
         SIGTERM,
         2},
        {{"--", sh, "-c", "trap '' HUP; sleep 20"}, 128 + SIGHUP, "", "", SIGHUP, 2},
        // The frames after the program stop at a signal.
        {{"--frames", "3000", "--y4m", "/dev/null", "--", "/bin/true"}, 128 + SIGINT, "", "", SIGINT, 1},
        {{"--frames", "3000", "--y4m", "/dev/null", "--", "/bin/true"}, 128 + SIGTERM, "", "", SIGTERM, 1},
        // Refusals before the program runs.
        {{"--", KOVARUN_PATH, "--", "/bin/true"}, 2, "kovarun: ptrace is not permitted", "", 0, 0},
        {{"--", "@/dir"}, 2, "kovarun: @/dir: is a directory\n", "", 0, 0},
        {{"--", "@/plain"}, 2, "kovarun: @/plain: not executable\n", "", 0, 0},
        {{"--trace", "/proc/version", "--", "/bin/true"},
         2,
         "kovarun: cannot write /proc/version: cannot create its replacement in /proc: ",
         "",
         0,
         0},
        {{"--state-dir", "@/state", "--frames", "100000", "--y4m", room_for_a_big_stream ? "" : "@/big.y4m",
          "--", CAPVIEW_PATH, "-s", "3"},
         2,
         "100000 frames of 1179654 bytes need",
         "",
         0,
         0},
        // No advice to set a variable that kovarun removes.
        {{"--sysfs", "/nonexistent", "--", CAPVIEW_PATH},
         2,
         "or run the program as 'env KOVA_SKIP_DEVICE_CHECK=1 PROGRAM'",
         "?",
         0,
         0},
    };
    const auto at_scratch = [&](std::string text) {
        for (auto at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1))
            text.replace(at, 1, scratch.path);
        return text;
    };
    for (const Case &c : cases) {
        std::vector<std::string> args;
        for (const std::string &arg : c.args)
            args.push_back(at_scratch(arg));
        if (std::find(args.begin(), args.end(), "") != args.end()) continue; // the file system has the room
        SCOPED_TRACE(args.back());
        const program_run::Input input{false, "", {"TMPDIR=" + tmp}, c.signal, 500, c.signals};
        const auto start = std::chrono::steady_clock::now();
        const Outcome o = program_run::run(KOVARUN_PATH, args, input);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_NE(o.err.find(at_scratch(c.err)), std::string::npos) << o.err;
        if (c.out == "PID") {
            const pid_t descendant = std::stoi(o.out);
            EXPECT_TRUE(kill(descendant, 0) != 0 && errno == ESRCH) << "descendant " << descendant << " left";
        } else if (c.out != "?") {
            EXPECT_EQ(o.out, c.out);
        }
        EXPECT_TRUE(std::filesystem::is_empty(tmp)) << std::filesystem::directory_iterator(tmp)->path();
    }
    EXPECT_FALSE(std::filesystem::exists(scratch / "trace"));
    EXPECT_TRUE(std::filesystem::is_empty(scratch / "state")); // no lock record: the program never ran
}

TEST(Kovarun, HardwareCapviewMatchesKovasim) {
    const std::string dump = program_run::temp_file("kovarun-dump");
    const Traced hw = run_traced({"--dump", dump, "--", CAPVIEW_PATH, "-s", "1"});
    const std::string hw_dump = program_run::take(dump);
    const std::string sim_trace = program_run::temp_file("kovasim-trace");
    const Outcome sim =
        program_run::run(KOVASIM_PATH, {"--trace", sim_trace, "--dump", dump, "--", "-s", "1"});
    EXPECT_EQ(hw.outcome.status, sim.status);
    EXPECT_EQ(hw.outcome.out, sim.out);
    EXPECT_EQ(hw.trace, lines_of(program_run::take(sim_trace)));
    EXPECT_EQ(hw_dump, program_run::take(dump));
    EXPECT_GT(hw.trace.size(), 100u);
}

std::string contents(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A program under kovarun on a card (--card or KOVA_CARD) leaves the card as
// capview under kovasim leaves its own (video memory included: the card's is
// the program's at its start and goes back at its end), run after run.
TEST(Kovarun, OnACardAsKovasimOnACard) {
    const ScratchDir dir;
    struct Step {
        std::vector<std::string> args;
        bool by_environment; // KOVA_CARD for kovarun, --card for kovasim
    };
    const Step steps[] = {{{"-s", "3"}, false}, {{"-o", "1"}, true}, {{"-i"}, false}};
    for (const Step &step : steps) {
        SCOPED_TRACE(step.args[0]);
        std::vector<std::string> hw_args = {"--trace", dir / "hw.trace", "--", CAPVIEW_PATH};
        std::vector<std::string> sim_args = {"--png", dir / "sim.png", "--trace", dir / "sim.trace", "--"};
        hw_args.insert(hw_args.end(), step.args.begin(), step.args.end());
        sim_args.insert(sim_args.end(), step.args.begin(), step.args.end());
        program_run::Input hw_input, sim_input;
        if (step.by_environment) {
            hw_input.env = {"KOVA_CARD=" + dir / "hw.card"};
            sim_args.insert(sim_args.begin(), {"--card", dir / "sim.card"});
        } else {
            hw_args.insert(hw_args.begin(), {"--card", dir / "hw.card"});
            sim_input.env = {"KOVA_CARD=" + dir / "sim.card"};
        }
        const Outcome hw = program_run::run(KOVARUN_PATH, hw_args, hw_input);
        const Outcome sim = program_run::run(KOVASIM_PATH, sim_args, sim_input);
        EXPECT_EQ(hw.status, sim.status);
        EXPECT_EQ(hw.out, sim.out);
        EXPECT_EQ(program_run::take(dir / "hw.trace"), program_run::take(dir / "sim.trace"));
        EXPECT_TRUE(contents(dir / "hw.card") == contents(dir / "sim.card"));
    }
}

} // namespace

// ---------------------------------------------------------------- hostile programs

namespace hostile {

std::string quoted(const std::string &text) {
    std::string q = "'";
    for (const char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command line in which KOVARUN, FORMS and CAPVIEW stand for
// the programs.
Outcome shell(std::string command) {
    const std::pair<const char *, const char *> names[] = {
        {"KOVARUN", KOVARUN_PATH}, {"FORMS", FORMS_PATH}, {"CAPVIEW", CAPVIEW_PATH}};
    for (const auto &[name, path] : names)
        for (std::size_t at; (at = command.find(name)) != std::string::npos;)
            command.replace(at, std::string_view(name).size(), quoted(path));
    return program_run::run("/bin/sh", {"-c", command});
}

bool has_line(const std::string &text, const std::string &line) {
    return contains(lines_of(text), line);
}

std::size_t count_of(const std::string &text, const std::string &part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace hostile

// Nothing of kovarun's reaches the program: its descriptors are the ones it
// would have had without kovarun, closed standard descriptors included.
TEST(KovarunHostile, TheProgramHasItsOwnDescriptorsOnly) {
    const char *redirections[] = {"", "<&-", ">&-", "<&- >&-"};
    for (const char *redirection : redirections) {
        const std::string fds = std::string("FORMS fds ") + redirection;
        const Outcome direct = hostile::shell(fds);
        const Outcome traced = hostile::shell("KOVARUN -- " + fds);
        ASSERT_EQ(traced.status, 0) << redirection << traced.err;
        const std::string listing = lines_of(direct.err).at(0);
        EXPECT_TRUE(listing.starts_with("fds")) << listing;
        EXPECT_TRUE(hostile::has_line(traced.err, listing)) << redirection << "\n"
                                                            << listing << "\n"
                                                            << traced.err;
    }
}

// The user's descriptors are theirs: capview's memory device is not a copy of
// whichever holds a number kovarun once used.
TEST(KovarunHostile, AUsersDescriptorIsNotTheMemoryDevice) {
    const std::string file = program_run::temp_file("kovarun-precious");
    const std::string precious(20000, 'p');
    std::ofstream(file) << precious;
    std::string opens = "exec";
    for (int fd = 3; fd <= 9; ++fd)
        opens += " " + std::to_string(fd) + "<>" + hostile::quoted(file);
    const Outcome o = hostile::shell("KOVARUN -- /bin/sh -c " +
                                     hostile::quoted(opens + "; " + hostile::quoted(CAPVIEW_PATH) + " -o"));
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(program_run::take(file) == precious) << "the user's file was changed";
}

// What a program does on its memory device: refused, and kovarun, which reads
// the video memory for the picture afterwards, is not hurt.
TEST(KovarunHostile, TheMemoryDeviceRefusesReadsWritesAndTruncation) {
    const std::string png = program_run::temp_file("kovarun-png");
    const Outcome o = hostile::shell("KOVARUN --png " + hostile::quoted(png) + " -- FORMS memfd");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "read refused\npread refused\nwrite refused\nfallocate refused\nftruncate refused\n");
    EXPECT_GT(program_run::take(png).size(), 0u);
}

// Port I/O on ports that are not the controller's (the test program writes
// 0x80 and reads 0x80-0x81): a warning once per port, or a stop.
TEST(KovarunHostile, PortsThatAreNotTheControllers) {
    const Outcome warned = hostile::shell("KOVARUN -- FORMS");
    EXPECT_EQ(warned.status, 0) << warned.err;
    EXPECT_EQ(hostile::count_of(warned.err, "port 0x80 is not the controller's"), 1u) << warned.err;
    EXPECT_EQ(hostile::count_of(warned.err, "port 0x81 is not the controller's"), 1u) << warned.err;
    EXPECT_EQ(hostile::count_of(warned.err, "is not the controller's"), 2u) << warned.err;

    const Outcome strict = hostile::shell("KOVARUN --strict-ports -- FORMS");
    EXPECT_EQ(strict.status, 3);
    EXPECT_NE(strict.err.find("port 0x80 is not the controller's: 'out 0x80, al'"), std::string::npos)
        << strict.err;
    EXPECT_EQ(strict.out.find("inb-imm"), std::string::npos) << strict.out;
}

// A name swapped between a file and a memory-device node while the program
// opens it: never the device, never the kernel's refusal of it.
TEST(KovarunHostile, ASwappedNameNeverOpensTheDevice) {
    const std::string dir = program_run::temp_dir("kovarun-race");
    const std::string file = dir + "/file", node = dir + "/mem", link = dir + "/link";
    std::ofstream(file) << "plain\n";
    if (mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 1)) != 0) {
        program_run::remove_dir(dir);
        GTEST_SKIP() << "mknod of a memory-device node is not permitted here: " << std::strerror(errno);
    }
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    std::atomic<bool> done = false;
    std::thread swapper([&] {
        const std::string next = dir + "/next";
        for (unsigned i = 0; !done; ++i) {
            unlink(next.c_str());
            if (symlink((i % 2 != 0 ? file : node).c_str(), next.c_str()) == 0)
                rename(next.c_str(), link.c_str());
        }
    });
    const Outcome o = program_run::run(KOVARUN_PATH, {"--", FORMS_PATH, "race", link, file, "2"});
    done = true;
    swapper.join();
    program_run::remove_dir(dir);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "file seen, stand-in seen, device 0, errors 0\n") << o.err.substr(0, 500);
}

// Every open is performed by kovarun's supervisor: each comes out as the
// kernel makes it without kovarun (flags, errors, links, FIFOs, /proc/self).
TEST(Kovarun, OpensComeOutAsWithoutKovarun) {
    const std::string direct_dir = program_run::temp_dir("kovarun-opens"),
                      traced_dir = program_run::temp_dir("kovarun-opens");
    const Outcome direct = program_run::run(OPENS_PATH, {direct_dir});
    const Outcome traced = program_run::run(KOVARUN_PATH, {"--", OPENS_PATH, traced_dir});
    program_run::remove_dir(direct_dir);
    program_run::remove_dir(traced_dir);
    ASSERT_EQ(direct.status, 0) << direct.err;
    EXPECT_EQ(traced.status, 0) << traced.err;
    EXPECT_GT(lines_of(direct.out).size(), 30u);
    EXPECT_EQ(traced.out, direct.out);
}
