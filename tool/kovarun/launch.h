// What the launch (launch.cpp) and the tracer (tracer.cpp) share about the
// program being run, from prepare() to the end of run().
#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>

namespace kova::run {

// The exit status of a refusal before the program runs.
inline constexpr int kRefused = 2;
// The exit status for a fault the runner cannot serve (the program is killed).
inline constexpr int kUnservedFault = 3;

struct Launch {
    const char *runner = "kovarun"; // the runner's name, for messages
    bool rehearsal = true;          // on the simulated controller (kovarun), not the card (kovatrace)
    std::string sysfs;
    bool generated_sysfs = false;
    bool generated_state_dir = false;
    std::string state_dir;
    std::string name; // the program's, for messages
    pid_t child = -1;
    int video_fd = -1;          // the frame buffer's descriptor (the listener's number in the child)
    int report_fd = -1;         // the child's report of a failed start
    bool wait_children = false; // --wait-children
    sigset_t signal_mask{};     // the runner's own, while prepare() holds the stopping signals
};
extern Launch g_launch;

// What the run's signals find while the program runs: the program (0 once
// it has ended), a traced process whose killing wakes the tracer, and the
// signal that stops the run.
extern volatile sig_atomic_t g_child;
extern volatile sig_atomic_t g_wake;
extern volatile sig_atomic_t g_stop_signal;

} // namespace kova::run
