// kovaview's command line: its own options (one table for parsing and the
// help), then after "--" capview's.
#pragma once

#include "register_text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kova::view {

constexpr int kUsageError = 2;

struct Options {
    bool help = false;
    std::string source = "pal";
    std::uint32_t fields = 0; // 0: until the user quits
    std::string y4m_file;
    bool pacing = true;
    bool window = true;
    bool integer_scale = false;
    std::string snapshot_dir = ".";
    std::string state_dir; // empty: no register-owner lock
    std::string card;
    std::vector<kova::registers::Setting> settings;
    std::vector<char *> capview_args; // empty: capview does not run
};

// Fills the options; 0, or the exit status after a usage error's message.
// --version and --help print and exit here.
int parse(int argc, char **argv, Options &options);

// A usage error's message on standard error; returns kUsageError.
int usage_error(const std::string &message);

} // namespace kova::view
