// Runs the kovactl program as a user would: what it printed, its exit status,
// and on the simulated controller its trace and register dump.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct KovactlRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> trace;            // the command's accesses, after the mapping
    std::map<std::string, std::uint32_t> regs; // --dump, by register name

    std::uint32_t reg(const std::string &name) const {
        const auto found = regs.find(name);
        return found == regs.end() ? 0 : found->second;
    }
};

struct KovactlInput {
    bool simulated = true; // --sim with --trace and --dump added in front
    bool terminal = false; // standard input is a terminal
    std::string answer;    // typed on that terminal
    // In the hardware flavour: a case about the simulated program alone,
    // which has no hardware twin.
    bool twin_only = false;
};

KovactlRun run_kovactl(const std::vector<std::string> &args, const KovactlInput &input = {});

// The trace lines of a program run up to and including the mapping.
std::vector<std::string> after_mapping(const std::vector<std::string> &trace);

// --set arguments for register settings: {"GR72=07", ...} -> {"--set", "GR72=07", ...}
std::vector<std::string> presets(const std::vector<std::string> &settings);
