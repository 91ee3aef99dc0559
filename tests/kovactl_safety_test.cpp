// kovactl on a real machine: one owner of the registers at a time, and
// signals that wait for the register sequence in progress.
#include "controller.h"
#include "kovactl.h"
#include "kovactl_run.h"
#include "register_holder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

TEST(KovactlOwner, HardwareCommandsGiveUpAfterTheBoundAndNameTheHolder) {
    char pattern[] = "/tmp/kovactl-owner-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    setenv("KOVA_STATE_DIR", dir.c_str(), 1);
    setenv("KOVA_OWNER_WAIT_MS", "300", 1);
    {
        const Holder holder(dir, "capview");
        const std::string named =
            "in use by capview (pid " + std::to_string(holder.pid()) + "); gave up after 0.3 s";
        const std::vector<std::vector<std::string>> commands = {{"status"},
                                                                {"-y", "dac", "power", "on"},
                                                                {"--dry-run", "reg", "set", "GR72=07"},
                                                                {"-y", "wait", "vsync"}};
        KovactlInput hardware;
        hardware.simulated = false;
        for (const auto &command : commands) {
            SCOPED_TRACE(command[command.size() - 1]);
            const auto start = std::chrono::steady_clock::now();
            const KovactlRun run = run_kovactl(command, hardware);
            EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
            EXPECT_EQ(run.status, 2);
            EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
            EXPECT_EQ(run.out, "");
        }
        // The simulated twin never touches the hardware: it runs while the lock is held.
        const KovactlRun simulated = run_kovactl({"status"});
        EXPECT_EQ(simulated.status, 0);
        EXPECT_EQ(simulated.err.find("in use by"), std::string::npos) << simulated.err;
    }
    unsetenv("KOVA_OWNER_WAIT_MS");
    unsetenv("KOVA_STATE_DIR");
    std::filesystem::remove_all(dir);
}

// What a kovactl-sim run in a child process reports through shared memory.
struct Report {
    std::uint64_t at_end;      // accesses after an undisturbed run
    std::uint64_t at_raise;    // when the signal was raised
    std::uint64_t at_delivery; // when its handler ran
};
Report *report = nullptr;
int signal_to_raise = 0;

void on_signal(int sig) {
    report->at_delivery = kova::sim::controller().access_count();
    std::signal(sig, SIG_DFL);
    raise(sig);
}

// Runs kovactl-sim with `words` in a child; with a signal to raise, raises it
// from inside the register read that starts the first vertical retrace.
int run_in_child(std::vector<std::string> words, int sig) {
    signal_to_raise = sig;
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        auto &sim = kova::sim::controller();
        if (sig != 0) {
            std::signal(sig, on_signal);
            sim.on_field_boundary([] {
                if (report->at_raise != 0) return;
                report->at_raise = kova::sim::controller().access_count();
                raise(signal_to_raise);
            });
        }
        words.insert(words.begin(), "kovactl-sim");
        std::vector<char *> argv;
        for (auto &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        const int status = kova::ctl::run(static_cast<int>(words.size()), argv.data());
        report->at_end = sim.access_count();
        _exit(status);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST(KovactlSignals, HeldOverTheSequenceAndBetweenWaitsOnly) {
    report = static_cast<Report *>(
        mmap(nullptr, sizeof(Report), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(report, MAP_FAILED);
    struct Case {
        std::vector<std::string> command;
        std::vector<std::string> undisturbed; // where the signal is to take effect
        bool midway = true;                   // the retrace read is not the last access of that run
    };
    const Case cases[] = {
        {{"capture", "0", "on"}, {"capture", "0", "on"}}, // the retrace falls midway through the sequence
        {{"wait", "vsync", "1000"}, {"wait", "vsync", "1"}, false}, // the retrace read ends the wait
        {{"wait", "crt-vsync", "1000"}, {"wait", "crt-vsync", "1"}},
        {{"wait", "capture-vsync", "1000"}, {"wait", "capture-vsync", "1"}},
    };
    for (const Case &c : cases)
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(c.command[0] + " " + c.command[1] + " " + strsignal(sig));
            *report = {};
            const int plain = run_in_child(c.undisturbed, 0);
            ASSERT_TRUE(WIFEXITED(plain) && WEXITSTATUS(plain) == 0) << plain;
            const std::uint64_t expected = report->at_end;

            *report = {};
            const int status = run_in_child(c.command, sig);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
            EXPECT_GT(report->at_raise, 0u);
            EXPECT_LE(report->at_raise, expected - (c.midway ? 1 : 0)); // raised inside the sequence...
            EXPECT_EQ(report->at_delivery, expected);                   // ...and honoured when it ended
        }
    munmap(report, sizeof(Report));
}

} // namespace
