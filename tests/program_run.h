// Runs one of the programs as a user would, in its own process (under the
// test emulator when the tests run under one), and collects what it printed
// and its exit status.  kovasim_run and kovactl_run build on it.
//
// Two flavours of the same tests: by default the simulated programs alone; with
// KOVA_TEST_FLAVOUR=hardware in the environment, each run of a simulated
// program also runs its hardware twin (capview, or kovactl without --sim)
// under kovarun, checks that the two agree, and hands back the hardware run.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace program_run {

struct Outcome {
    int status = -1; // exit status, or 128 + the signal that ended it
    std::string out; // standard output
    std::string err; // standard error
};

// Standard input of the program: /dev/null, or a terminal on which `answer`
// and a newline are typed.
// `signal`, when not 0, is sent to the program `signal_after_ms` after its
// start, unless it has ended by then, and `signals` times in all, as far
// apart.
struct Input {
    bool terminal = false;
    std::string answer;
    std::vector<std::string> env = {}; // NAME=VALUE, set for the program
    int signal = 0;
    int signal_after_ms = 0;
    int signals = 1;
    // Standard output: "" collected (Outcome::out), "-" closed, else this
    // path opened for writing (such as /dev/full).
    std::string out_to = "";
};

Outcome run(const char *program, const std::vector<std::string> &args, const Input &input = {});

// Whether the hardware programs run too (see above).
bool hardware_flavour();
// Runs the hardware program under kovarun: kovarun OPTIONS -- PROGRAM ARGS.
Outcome run_under_runner(const std::vector<std::string> &runner_options, const char *program,
                         const std::vector<std::string> &args, const Input &input = {});
// Standard error split into what the program wrote and the summary that
// kovasim or kovarun writes after it ("kovarun: N register accesses" and the
// engines' state), the summary without the runner's name.
struct Messages {
    std::string program, summary;
};
Messages split_summary(const std::string &err);
// A state directory named on a command line (--state-dir DIR or
// --state-dir=DIR), copied before either run: the simulated twin runs on the
// directory itself, the hardware program on the copy, so that each finds the
// record the case set up.
struct StateDirCopy {
    explicit StateDirCopy(const std::vector<std::string> &args);
    ~StateDirCopy();
    StateDirCopy(const StateDirCopy &) = delete;
    StateDirCopy &operator=(const StateDirCopy &) = delete;
    // The arguments pointed at the copy.
    std::vector<std::string> for_copy(std::vector<std::string> args) const;
    // The text with the copy's name put back to the directory's.
    std::string as_given(std::string text) const;
    // The lock-state record each run left ("" for none): the two must agree.
    std::string given_record() const;
    std::string copy_record() const;
    std::string given, copy; // empty without --state-dir
};
// A fresh empty directory (a hardware program's own state directory).
std::string temp_dir(const char *stem);
// Removes the directory and what is in it.
void remove_dir(const std::string &path);

// A fresh empty file for the program to write (for --trace and --dump).
std::string temp_file(const char *stem);
// The file's text; the file is removed.
std::string take(const std::string &path);
std::vector<std::string> lines_of(const std::string &text);
// A register dump ("GRC0=12" a line) by register name.
std::map<std::string, std::uint32_t> parse_dump(const std::string &text);

} // namespace program_run
