// Runs one of the programs as a user would, in its own process (under the
// test emulator when the tests run under one), and collects what it printed
// and its exit status.  kovasim_run and kovactl_run build on it.
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
// start, unless it has ended by then.
struct Input {
    bool terminal = false;
    std::string answer;
    int signal = 0;
    int signal_after_ms = 0;
};

Outcome run(const char *program, const std::vector<std::string> &args, const Input &input = {});

// A fresh empty file for the program to write (for --trace and --dump).
std::string temp_file(const char *stem);
// The file's text; the file is removed.
std::string take(const std::string &path);
std::vector<std::string> lines_of(const std::string &text);
// A register dump ("GRC0=12" a line) by register name.
std::map<std::string, std::uint32_t> parse_dump(const std::string &text);

} // namespace program_run
