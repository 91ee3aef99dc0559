// kovatrace on file stand-ins for the memory and port devices: capview's
// accesses as on the model, the confinement to the controller, and the
// refusals that leave the stand-ins as they were.
#include "program_run.h"
#include "register_owner.h"
#include "scratch_dir.h"
#include "sysfs_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using program_run::lines_of;
using program_run::Outcome;

// The aperture the stand-ins describe: GR 35 (through port 0x3CF) reads 01,
// so the card's aperture is at 16 MiB and the memory stand-in is small.
constexpr std::uint64_t kAperture = 0x01000000;
constexpr std::uint64_t kWindowScratch = kAperture + 0x800000 + 0x20000; // the test program's scratch
constexpr std::uint16_t kForeignPort = 0x80;

std::string contents(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void put_byte(const std::string &path, std::uint64_t offset, char value) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(offset));
    file.put(value);
}

// A machine with the card: a device tree naming it, and the two stand-ins.
struct Machine {
    ScratchDir dir;
    std::string sysfs = dir / "sys", mem = dir / "mem", port = dir / "port", trace = dir / "trace";

    explicit Machine(const char *pci_class = "0x030000") {
        kova::tool::PciDevice card = kova::tool::display_controller(kAperture);
        card.pci_class = pci_class;
        kova::tool::write_sysfs_tree(sysfs, {card});
        std::ofstream(mem).close();
        std::filesystem::resize_file(mem, 2 * kAperture);
        std::ofstream(port).close();
        std::filesystem::resize_file(port, 0x10000);
        put_byte(port, 0x3CF, 0x01);
        put_byte(port, kForeignPort, 0x42);
        put_byte(mem, kWindowScratch, 0x42);
    }
    std::vector<std::string> options(std::vector<std::string> more = {}) const {
        std::vector<std::string> args = {"--trace", trace,         "--sysfs", sysfs,         "--mem-file",
                                         mem,       "--port-file", port,      "--state-dir", dir / "state"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    std::string standins() const { return contents(mem) + contents(port); }
};

// A trace with the values read masked, the mappings relative to the aperture
// and the repeats of a line (a status poll's reads) as one: what does not
// depend on the values the card returns.
std::vector<std::string> masked(const std::vector<std::string> &lines) {
    static const std::regex read(R"(^((r8|r16|r32|in8) [0-9A-F]+) [0-9A-F]+)");
    static const std::regex mapping(R"(^mmap [0-9A-F]{2}([0-9A-F]{6}) )");
    std::vector<std::string> out;
    for (const std::string &line : lines) {
        std::string m = std::regex_replace(std::regex_replace(line, read, "$1 --"), mapping, "mmap +$1 ");
        if (out.empty() || out.back() != m) out.push_back(m);
    }
    return out;
}

// The hardware programs' accesses, each on the stand-ins in program order
// with its width, are their simulated twins'; with --times each line ends in
// its time, in order.  (The stand-ins' status never changes: capview's wait
// for the capture to stop ends at the library's bound of reads, with its
// warning, where the model's ends at once; these are scenarios whose waits
// end so soon and whose flow does not follow the values read.)
TEST(Kovatrace, HardwareProgramsOnTheStandInsAsOnTheModel) {
    if (geteuid() != 0) GTEST_SKIP() << "kovatrace runs for root alone";
    struct Scenario {
        const char *program;
        std::vector<std::string> args;
        const char *twin;
        std::vector<std::string> twin_args; // @: the twin's trace
    };
    const Scenario scenarios[] = {
        {CAPVIEW_PATH, {"-q"}, KOVASIM_PATH, {"--trace", "@", "--", "-q"}},
        {KOVACTL_PATH, {"reg", "get", "GR35"}, KOVACTL_PATH, {"--sim", "--trace", "@", "reg", "get", "GR35"}},
        {KOVACTL_PATH,
         {"-y", "overlay", "0", "on"},
         KOVACTL_PATH,
         {"--sim", "--trace", "@", "-y", "overlay", "0", "on"}},
    };
    for (const Scenario &c : scenarios) {
        const Machine machine;
        std::vector<std::string> args = machine.options({"--times", "--", c.program});
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome hw = program_run::run(KOVATRACE_PATH, args);
        const std::string sim_trace = machine.dir / "sim-trace";
        std::vector<std::string> twin_args = c.twin_args;
        std::replace(twin_args.begin(), twin_args.end(), std::string("@"), sim_trace);
        const Outcome sim = program_run::run(c.twin, twin_args);
        ASSERT_EQ(hw.status, 0) << c.args[0] << hw.err;
        EXPECT_EQ(sim.status, 0) << sim.err;

        static const std::regex time(R"(^(.*) @([0-9]+\.[0-9]{6})$)");
        std::vector<std::string> untimed;
        double last = 0;
        for (const std::string &line : lines_of(contents(machine.trace))) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(line, m, time)) << line;
            EXPECT_GE(std::stod(m[2]), last) << line;
            last = std::stod(m[2]);
            untimed.push_back(m[1]);
        }
        EXPECT_EQ(masked(untimed), masked(lines_of(contents(sim_trace)))) << c.args[0];
        EXPECT_GT(untimed.size(), 10u);
    }
}

// What the card does not have stops the program (status 3) before the
// access: the stand-in keeps its byte there.
TEST(Kovatrace, ConfinedToTheController) {
    if (geteuid() != 0) GTEST_SKIP() << "kovatrace runs for root alone";
    struct Case {
        const char *mode;
        const char *err;
        std::function<std::string(const Machine &)> byte_kept;
    };
    const Case cases[] = {
        {"forms", "port 0x80 is not the controller's: 'out 0x80, al'",
         [](const Machine &m) { return contents(m.port).substr(kForeignPort, 1); }},
        {"unsupported", "cannot perform 'add byte ptr [",
         [](const Machine &m) { return contents(m.mem).substr(kWindowScratch, 1); }},
        {"outside", "mmap of physical 0x1900000 length 0x1000 is not performed",
         [](const Machine &m) { return contents(m.mem).substr(kWindowScratch, 1); }},
    };
    for (const Case &c : cases) {
        const Machine machine;
        const Outcome o = program_run::run(KOVATRACE_PATH, machine.options({"--", FORMS_PATH, c.mode}));
        EXPECT_EQ(o.status, 3) << c.mode << o.err;
        EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
        EXPECT_EQ(c.byte_kept(machine), "\x42") << c.mode;
        EXPECT_EQ(o.out.find("outside"), std::string::npos) << o.out;
    }
}

// Refused before anything is touched (status 2): the stand-ins as they
// were, no trace.  Not root: run as nobody when the test runs as root (the
// other refusals need root to be reached).
TEST(Kovatrace, RefusalsTouchNothing) {
    struct Case {
        const char *pci_class;
        std::vector<std::string> before, options;
        const char *err;
        bool lock_held = false;
    };
    const bool root = geteuid() == 0;
    const Case cases[] = {
        {"0x030000", {}, {"--sysfs", "/nonexistent"}, "kovatrace: device check: cannot read /nonexistent/"},
        {"0x020000", {}, {}, "kovatrace: device check: the boot VGA device 0000:01:00.0 has class 0x020000"},
        {"0x030000",
         {},
         {"--trace", "/nonexistent/trace"},
         "kovatrace: cannot write the trace /nonexistent/"},
        {"0x030000", {}, {}, "kovatrace: the registers are in use by kovactl", true},
        {"0x030000",
         {"--reuid=65534", "--regid=65534", "--clear-groups"},
         {},
         "kovatrace: only root may run it"},
    };
    for (const Case &c : cases) {
        if (!root && c.before.empty()) continue; // only root reaches these
        const Machine machine(c.pci_class);
        const std::string before = machine.standins();
        std::vector<std::string> args = c.before;
        const std::vector<std::string> options = machine.options(c.options);
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"--", FORMS_PATH});
        kova::tool::RegisterOwner other;
        std::string error;
        if (c.lock_held) {
            ASSERT_TRUE(other.acquire(machine.dir / "state", "kovactl", {}, error)) << error;
        }
        if (!root)
            args.erase(args.begin(), args.begin() + static_cast<long>(c.before.size())); // already not root
        else if (!c.before.empty())
            args.insert(args.begin() + static_cast<long>(c.before.size()), KOVATRACE_PATH);
        const Outcome o =
            program_run::run(root && !c.before.empty() ? "/usr/bin/setpriv" : KOVATRACE_PATH, args);
        EXPECT_EQ(o.status, 2) << c.err;
        EXPECT_EQ(o.err.substr(0, std::string(c.err).size()), c.err) << o.err;
        EXPECT_EQ(o.out, "");
        EXPECT_TRUE(machine.standins() == before) << c.err;
        EXPECT_FALSE(std::filesystem::exists(machine.trace)) << c.err;
    }
    if (!root) GTEST_SKIP() << "not root: only the refusal of a user who is not root is tried";
}

// The card's state recorded before the run (--card-out), loaded on the model
// by kovarun --card: the same program makes the same writes there, in the
// same places and order (the stand-ins are files, not registers: a value read
// back is the last byte written to its port, so the values of read-modify-
// write stores differ from the model's, and are masked); the mappings are
// where the recorded registers put the aperture.  A file
// that is not a card is refused before the card is read, and left as it is.
TEST(Kovatrace, StateBeforeTheRunRepeatsOnTheModel) {
    if (geteuid() != 0) GTEST_SKIP() << "kovatrace runs for root alone";
    const Machine machine;
    const std::string card = machine.dir / "before.card", model = machine.dir / "model";
    std::vector<std::string> args = machine.options({"--card-out", card, "--", CAPVIEW_PATH, "-q"});
    const Outcome hw = program_run::run(KOVATRACE_PATH, args);
    ASSERT_EQ(hw.status, 0) << hw.err;
    const Outcome sim =
        program_run::run(KOVARUN_PATH, {"--card", card, "--trace", model, "--", CAPVIEW_PATH, "-q"});
    ASSERT_EQ(sim.status, 0) << sim.err;
    const auto writes = [](const std::string &trace) {
        static const std::regex write(R"(^((w8|w16|w32|out8) [0-9A-F]+) [0-9A-F]+$)");
        std::vector<std::string> out;
        for (const std::string &line : lines_of(contents(trace)))
            if (std::regex_match(line, write))
                out.push_back(std::regex_replace(line, write, "$1 --"));
            else if (line.starts_with("mmap ")) // where the recorded aperture register puts the aperture
                out.push_back(line);
        return out;
    };
    EXPECT_EQ(writes(machine.trace), writes(model));
    EXPECT_GT(writes(model).size(), 10u);

    const Machine other;
    const std::string not_card = other.dir / "notes";
    std::ofstream(not_card) << "not a card\n";
    const std::string before = other.standins();
    args = other.options({"--card-out", not_card, "--", CAPVIEW_PATH, "-q"});
    const Outcome refused = program_run::run(KOVATRACE_PATH, args);
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_NE(refused.err.find("kovatrace: cannot record the card's state in " + not_card), std::string::npos)
        << refused.err;
    EXPECT_EQ(contents(not_card), "not a card\n");
    EXPECT_TRUE(other.standins() == before);
}

} // namespace
