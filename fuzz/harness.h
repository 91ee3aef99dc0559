// Shared ground of the fuzz targets: turning an input into arguments, a
// private scratch directory, and putting the whole process (the simulated
// controller, the library's globals, capview's settings and getopt) back to
// its state at start-up between inputs, so that every input runs as in a
// fresh process.
#pragma once

#include "controller.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kova::fuzz {

// The input split at NUL bytes into arguments (a trailing NUL ends the last
// one; an empty input gives no arguments).
std::vector<std::string> split_arguments(const std::uint8_t *data, std::size_t size);

// An argv for a program called `program`: program name, the arguments, and
// the terminating null pointer.  Owns its strings.
class Argv {
  public:
    Argv(const char *program, const std::vector<std::string> &arguments);
    int argc() const { return static_cast<int>(pointers_.size()) - 1; }
    char **argv() { return pointers_.data(); }

  private:
    std::vector<std::string> strings_;
    std::vector<char *> pointers_;
};

// A fresh directory of this process under $TMPDIR (or /tmp), created on the
// first call and removed at exit; KOVA_STATE_DIR points into it, so that
// nothing a target runs reaches /run/kova.
const std::string &scratch_dir();

// Sends standard output to /dev/null: the programs' reports would only slow
// the fuzzer down.  Standard error stays for diagnostics and findings.
void silence_stdout();

// The library's and capview's globals back to their values at start-up.
void reset_globals();

// The bytes of all those globals, in one image, to compare two states.
std::vector<unsigned char> globals_image();

// Back to start-up: the globals as above, getopt reinitialised, the
// simulated controller at power-on, and no state directory.
void reset_process_state();

// The set-up of a target that runs a program's main: the scratch directory,
// standard output silenced, and the globals at start-up recorded.
void start_program_target();

// A run of a program's main from the state at start-up: its exit status and
// the simulated controller's trace.
struct ProgramRun {
    int status;
    std::vector<sim::Event> events;
};
ProgramRun run_program(const char *program, int (*main)(int, char **), const std::vector<std::string> &args);

// Whether two runs end alike and leave the same accesses.
bool same_run(const ProgramRun &a, const ProgramRun &b);

} // namespace kova::fuzz
