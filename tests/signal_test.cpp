// Signals that arrive in the middle of capview's register sequences wait for
// the sequences to end and then take effect: the simulated controller raises
// the signal from inside a register read during capture start-up.
#include "capview.h"
#include "capview_settings.h"
#include "sim_fixture.h"

#include <csignal>
#include <fcntl.h>
#include <getopt.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using kova::registers::Reg;

// What the child process reports back through shared memory.
struct Report {
    std::uint64_t accesses_at_end;      // after an undisturbed run
    std::uint64_t accesses_at_delivery; // when the signal's handler ran
    int raised;
};
Report *report = nullptr;
int signal_to_raise = 0;

void on_signal(int sig) {
    report->accesses_at_delivery = kova::sim::controller().access_count();
    std::signal(sig, SIG_DFL);
    raise(sig); // taken by default once the handler returns: the program ends
}

// capview with default settings on a fresh controller, in this (child) process.
int run_capview(void (*prepare)() = nullptr) {
    capview_start_settings();
    optind = 0;
    kova::sim::controller().reset();
    if (prepare != nullptr) prepare();
    char name[] = "capview";
    char *argv[] = {name, nullptr};
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDOUT_FILENO);
    return capview_main(1, argv);
}

// Runs `body` in a child process; returns its wait status.
template <typename Body>
int in_child(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST(Signals, HeldUntilTheSequencesEndThenHonoured) {
    report = static_cast<Report *>(
        mmap(nullptr, sizeof(Report), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(report, MAP_FAILED);
    const int undisturbed = in_child([] {
        if (run_capview() == 0) report->accesses_at_end = kova::sim::controller().access_count();
    });
    ASSERT_TRUE(WIFEXITED(undisturbed) && WEXITSTATUS(undisturbed) == 0);
    ASSERT_GT(report->accesses_at_end, 0u);

    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        report->accesses_at_delivery = 0;
        report->raised = 0;
        signal_to_raise = sig;
        const int status = in_child([] {
            std::signal(signal_to_raise, on_signal);
            run_capview([] {
                // The first sync-status read of capture start-up, midway through the start sequence.
                kova::sim::controller().on_read(Reg::gr(0x43, 0x03),
                                                [](std::uint16_t natural, std::uint64_t n) {
                                                    if (n == 1) {
                                                        report->raised = 1;
                                                        raise(signal_to_raise);
                                                    }
                                                    return natural;
                                                });
            });
        });
        EXPECT_EQ(report->raised, 1);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(report->accesses_at_delivery, report->accesses_at_end); // nothing left half done
    }
    munmap(report, sizeof(Report));
}

} // namespace
