// kovarun: a hardware-flavour program run under ptrace with the simulated
// controller behind its port I/O, its memory-device calls and its register
// window.  kovarun's main (tool/kovarun_main.cpp) reaches the runner through
// these calls; everything else of kovarun lives beside this header.
#pragma once

#include "backend.h"
#include "controller.h"

#include <string>
#include <string_view>

namespace kova::run {

// --sysfs DIR: the device-check tree given to the program.
bool take_sysfs(std::string_view dir, std::string &error);
// --strict-ports: port I/O on a port that is not the controller's stops the
// program (as an unserved fault does) instead of a warning; `why` is said
// with the stop.
void set_strict_ports(const char *why = "--strict-ports");
// --state-dir DIR: the program's KOVA_STATE_DIR.
void set_state_dir(const std::string &dir);

// --wait-children: the run ends when the program and all its descendants
// have ended (by default those still running when the program ends are killed).
void wait_for_children();

// What is wrong with the operands (argv null-terminated): no program, or an
// option kovarun does not know where the program should be; empty when
// nothing is.
std::string operands_error(char **argv);

// Finds the program, shares the video memory with it and starts it stopped
// under ptrace (argv null-terminated, argv[0] the program).  0, or the exit
// status of a refusal after its message.
int prepare(char **argv);

// Runs the prepared program to its end on the simulated controller; its exit
// status (128 + signal when killed by one), or 3 for a fault it cannot serve.  SIGINT,
// SIGTERM and SIGHUP meanwhile: the first goes to the program, a second one
// kills it and kovarun ends by that signal, nothing of the run left behind.
int run(sim::Controller &sim);

// kovatrace: the same launch for a program whose accesses the card performs.
// `memory_fd` (close-on-exec) is the frame buffer that the program's
// memory-device opens get a copy of.  0, or the exit status of a refusal
// after its message.
int prepare_on_card(char **argv, int memory_fd);
// Runs the program prepared by prepare_on_card() to its end on `card`, as run()
// does on the simulated controller.
int run_on_card(Backend &card);

} // namespace kova::run
