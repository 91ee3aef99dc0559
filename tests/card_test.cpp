// The virtual card: programs in processes of their own meet on one card as
// on the one card in a machine.
#include "capview.h"
#include "capview_settings.h"
#include "card.h"
#include "controller.h"
#include "program_run.h"
#include "register_dump.h"
#include "scratch_dir.h"
#include "synclock.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using program_run::Outcome;

Outcome kovasim(const std::vector<std::string> &args, const program_run::Input &input = {}) {
    return program_run::run(KOVASIM_PATH, args, input);
}
Outcome kovactl(const std::vector<std::string> &args, const program_run::Input &input = {}) {
    return program_run::run(KOVACTL_PATH, args, input);
}
std::string card_dump(const std::string &card) {
    const Outcome dump = kovactl({"card", "dump", card});
    EXPECT_EQ(dump.status, 0) << dump.err;
    return dump.out;
}
// A program's input with these NAME=VALUE pairs in its environment.
program_run::Input with_env(std::vector<std::string> env) {
    program_run::Input input;
    input.env = std::move(env);
    return input;
}
std::string bytes_of(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// capview in this process, on the process's controller as it is.
void capview_here(std::vector<std::string> args) {
    capview_start_settings();
    optind = 0;
    args.insert(args.begin(), "capview");
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO), devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDOUT_FILENO);
    EXPECT_EQ(capview_main(static_cast<int>(args.size()), argv.data()), 0);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved), close(devnull);
}

// The workflow of the card, each step its own process, leaves what one
// process making the same calls in a row leaves.
TEST(Card, TheWorkflowInProcessesOfTheirOwnEndsAsOneProcessDoes) {
    ScratchDir dir;
    const std::string card = dir / "card";
    ASSERT_EQ(kovasim({"--card", card, "--", "-s", "3"}).status, 0);
    const Outcome status = kovactl({"--sim", "--card", card, "status"});
    EXPECT_EQ(status.status, 0) << status.err;
    EXPECT_NE(status.out.find("sync lock: sync lock, PAL"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("overlay 0: on"), std::string::npos) << status.out;
    const Outcome off = kovactl({"--sim", "--card", card, "synclock", "off"});
    EXPECT_EQ(off.status, 0) << off.err;
    EXPECT_FALSE(fs::exists(card + ".state/lock.state")); // the record is spent
    ASSERT_EQ(kovasim({"--card", card, "--", "-q"}).status, 0);

    auto &sim = kova::sim::controller();
    sim.reset();
    wSyncLock = wSyncLockGM = wExtClock = 0;
    capview_here({"-s", "3"});
    Kova_CleanupSyncLock();
    capview_here({"-q"});
    EXPECT_EQ(card_dump(card), kova::sim::dump(sim));
}

// A C program of the simulated flavour reads the card that KOVA_CARD names;
// a bad card there is named on standard error, left alone, and the mapping fails.
TEST(Card, AProgramOfTheSimulatedLibraryMeetsTheCardOfKovaCard) {
    ScratchDir dir;
    const std::string card = dir / "card", not_card = dir / "text";
    ASSERT_EQ(kovasim({"--card", card, "--", "-s", "3"}).status, 0);
    std::string crs;
    for (const std::string &line : program_run::lines_of(card_dump(card)))
        if (line.starts_with("CR")) crs += line + "\n";
    const Outcome read = program_run::run(CARD_REGISTERS_PATH, {}, with_env({"KOVA_CARD=" + card}));
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out, crs);
    EXPECT_NE(crs.find("CR28="), std::string::npos); // the sync lock's, not power-on's

    std::ofstream(not_card) << "not a card\n";
    const Outcome refused = program_run::run(CARD_REGISTERS_PATH, {}, with_env({"KOVA_CARD=" + not_card}));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("KOVA_CARD=" + not_card + ": " + not_card + ": not a card"), std::string::npos)
        << refused.err;
    EXPECT_EQ(bytes_of(not_card), "not a card\n");
}

// The raster and the video clock are the card's: a program's trace is a
// function of the card it starts on; --frames alone runs the engines on.
TEST(Card, CopiesOfOneCardGiveTheSameTrace) {
    ScratchDir dir;
    const std::string card = dir / "a", copy = dir / "b";
    ASSERT_EQ(kovasim({"--card", card, "--frames", "3", "--", "-s", "3"}).status, 0);
    const auto fields = [&] {
        const std::string info = kovactl({"card", "info", card}).out;
        const auto at = info.find("video: ");
        return at == std::string::npos ? -1 : std::stol(info.substr(at + 7));
    };
    const long before = fields();
    const Outcome frames = kovasim({"--card", card, "--frames", "5"});
    EXPECT_NE(frames.err.find("kovasim: 0 register accesses"), std::string::npos) << frames.err;
    EXPECT_GE(before, 3);
    EXPECT_EQ(fields(), before + 5);
    fs::copy_file(card, copy);
    std::string traces[2];
    for (int i = 0; i < 2; ++i) {
        const std::string trace = dir / ("trace" + std::to_string(i));
        EXPECT_EQ(kovasim({"--card", i == 0 ? card : copy, "--trace", trace, "--", "-b"}).status, 0);
        traces[i] = bytes_of(trace);
    }
    EXPECT_GT(traces[0].size(), 1000u);
    EXPECT_EQ(traces[0], traces[1]);
    EXPECT_EQ(card_dump(card), card_dump(copy));
}

// One program at a time: eight masked writes of one register each keep
// the others' bits; a program waiting for a held card names the holder.
TEST(Card, ProgramsTakeTheCardInTurn) {
    ScratchDir dir;
    const std::string card = dir / "card";
    ASSERT_EQ(kovactl({"card", "create", card}).status, 0);
    std::vector<std::thread> writers;
    for (int bit = 0; bit < 8; ++bit)
        writers.emplace_back([&card, bit] {
            char value[8], mask[8];
            std::snprintf(value, sizeof value, "%02X", 1 << bit);
            std::snprintf(mask, sizeof mask, "0x%02X", 1 << bit);
            const Outcome set =
                kovactl({"--sim", "--card", card, "reg", "set", std::string("SR4A=") + value, mask});
            EXPECT_EQ(set.status, 0) << set.err;
        });
    for (std::thread &writer : writers)
        writer.join();
    EXPECT_NE(card_dump(card).find("SR4A=FF\n"), std::string::npos);

    std::string error;
    kova::sim::Card::Use use;
    use.program = "holder";
    const auto held = kova::sim::Card::open(card, use, error);
    ASSERT_TRUE(held) << error;
    const Outcome waited = kovactl({"--sim", "--card", card, "status"}, with_env({"KOVA_OWNER_WAIT_MS=50"}));
    EXPECT_EQ(waited.status, 2);
    EXPECT_NE(waited.err.find("in use by holder (pid " + std::to_string(getpid()) + ")"), std::string::npos)
        << waited.err;
}

// SIGKILL in the middle of a run: the card opens, holding what the program
// had left in it up to then.
TEST(Card, AKilledProgramLeavesACardThatOpens) {
    ScratchDir dir;
    const std::string card = dir / "card";
    program_run::Input kill;
    kill.signal = SIGKILL, kill.signal_after_ms = 1000;
    const Outcome killed =
        kovasim({"--card", card, "--frames", "100000", "--y4m", "/dev/null", "--", "-s", "3"}, kill);
    ASSERT_EQ(killed.status, 128 + SIGKILL);
    const Outcome info = kovactl({"card", "info", card});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("sync lock: sync lock, PAL"), std::string::npos) << info.out;
    EXPECT_EQ(info.out.find("video: 0 fields"), std::string::npos) << info.out;
}

// Files that are not cards are refused with the reason and left as they were.
TEST(Card, EveryKindOfNonCardIsRefusedAndLeftAlone) {
    ScratchDir dir;
    const std::string good = dir / "good";
    ASSERT_EQ(kovactl({"card", "create", good}).status, 0);
    struct stat st {};
    ASSERT_EQ(stat(good.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(kovactl({"card", "create", good}).err.find("exists already"), std::string::npos);
    const std::string card = bytes_of(good);
    const auto header = [&](auto change) {
        kova::sim::Card::Header h = kova::sim::Card::expected_header();
        change(h);
        std::string text = card;
        std::memcpy(text.data(), &h, sizeof h);
        return text;
    };
    struct Case {
        const char *name;
        std::string bytes; // a regular file's contents
        const char *reason;
    };
    const Case cases[] = {
        {"text", "hello\n", "not a card (it does not begin with KOVACARD)"},
        {"truncated", card.substr(0, card.size() / 2), "truncated"},
        {"longer", card + "x", "not a card: "},
        {"checksum", header([](auto &h) { h.window_size = 0; }), "checksum is wrong"},
        {"version", header([](auto &h) {
             h.version = 7;
             h.checksum = kova::sim::Card::checksum(h);
         }),
         "a card of format version 7; this program reads version 1"},
        {"sizes", header([](auto &h) {
             h.video_memory_size /= 2;
             h.checksum = kova::sim::Card::checksum(h);
         }),
         "a card with other sizes"},
        {"directory", "", "a directory, not a card"},
        {"fifo", "", "a FIFO, not a card"},
        {"device", "", "a device, not a card"},
        {"foreign-link", "", "a symbolic link that another user owns"},
    };
    for (const Case &c : cases) {
        const std::string path = dir / c.name;
        if (std::string_view(c.name) == "directory")
            fs::create_directory(path);
        else if (std::string_view(c.name) == "fifo")
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        else if (std::string_view(c.name) == "device")
            fs::create_symlink("/dev/null", path);
        else if (std::string_view(c.name) == "foreign-link") {
            fs::create_symlink(good, path);
            if (geteuid() != 0 || lchown(path.c_str(), 65534, 65534) != 0) continue; // needs root
        } else
            std::ofstream(path, std::ios::binary) << c.bytes;
        const std::string before = fs::is_regular_file(path) ? bytes_of(path) : "";
        for (const auto &args : {std::vector<std::string>{"card", "info", path},
                                 std::vector<std::string>{"--sim", "--card", path, "status"}}) {
            const Outcome refused = kovactl(args);
            EXPECT_EQ(refused.status, 1) << c.name;
            EXPECT_NE(refused.err.find(c.reason), std::string::npos) << c.name << ": " << refused.err;
        }
        EXPECT_NE(kovasim({"--card", path}).status, 0) << c.name;
        if (fs::is_regular_file(path)) {
            EXPECT_EQ(bytes_of(path), before) << c.name;
        }
        EXPECT_FALSE(fs::exists(path + ".state")) << c.name;
    }
    EXPECT_TRUE(fs::is_empty(dir / "directory"));
    EXPECT_EQ(bytes_of(good), card);
}

} // namespace
