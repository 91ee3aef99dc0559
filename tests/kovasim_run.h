// Runs the kovasim program as a user would and collects what it printed, its
// exit status, its trace and its register dump.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct KovasimRun {
    int status = -1;
    std::string out;                           // standard output: capview's own
    std::string err;                           // standard error: diagnostics and the summary
    std::vector<std::string> trace;            // --trace
    std::map<std::string, std::uint32_t> regs; // --dump, by register name ("GRC0", "GR60@00", ...)

    // A register's value after the run (registers not in the dump are 0).
    std::uint32_t reg(const std::string &name) const {
        const auto found = regs.find(name);
        return found == regs.end() ? 0 : found->second;
    }
    std::uint32_t reg16(const std::string &low, const std::string &high) const {
        return reg(low) | reg(high) << 8;
    }
    // How many trace lines are exactly `line`.
    long count(const std::string &line) const;
    // Index of the first trace line equal to `line` at or after `from`, or -1.
    long find(const std::string &line, long from = 0) const;
};

// Runs kovasim with the given arguments, adding its own --trace and --dump
// in front of them.
KovasimRun run_kovasim(const std::vector<std::string> &args, bool with_trace_and_dump = true);

// The usage text capview prints after a bad option.
extern const char *const kUsageText;
