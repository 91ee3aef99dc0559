// Fuzz target: kovactl's command line, in process on the simulated
// controller (the program kovactl runs for --sim): global options, command
// words, argument checks, and the command itself.
//
// Input: arguments separated by NUL bytes.  Command lines that name a file
// (--trace, --dump, --state-dir) or wait for more than a few retraces are
// not run.  Beyond crashes, the target stops on an exit status other than 0,
// 1 and 64, and when the same command line run twice ends differently or
// leaves a different trace.
#include "harness.h"
#include "kovactl.h"
#include "number.h"
#include "program_filter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void finding(const char *what) {
    std::fprintf(stderr, "kovactl fuzz target: %s\n", what);
    std::abort();
}

// A wait of up to 1000 retraces, each up to 100,001 status reads, traced:
// correct, but minutes long.  Counts after "wait" stay small.
bool runnable(const std::vector<std::string> &args) {
    if (kova::fuzz::any_names_option(args, {"--trace", "--dump", "--state-dir"})) return false;
    const auto wait = std::find(args.begin(), args.end(), "wait");
    for (auto it = wait; it != args.end(); ++it) {
        std::uint32_t count = 0;
        if (kova::tool::parse_number(*it, count) && count > 4) return false;
    }
    return true;
}

kova::fuzz::ProgramRun run(const std::vector<std::string> &args) {
    return kova::fuzz::run_program("kovactl", kova::ctl::run, args);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    kova::fuzz::start_program_target();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::vector<std::string> args = kova::fuzz::split_arguments(data, size);
    if (!runnable(args)) return -1; // not kept in the corpus
    const kova::fuzz::ProgramRun first = run(args);
    if (first.status != kova::ctl::kExitOk && first.status != kova::ctl::kExitFailure &&
        first.status != kova::ctl::kExitUsage)
        finding("exit status other than 0, 1 and 64");
    if (!kova::fuzz::same_run(run(args), first))
        finding("a second run of the same command line runs differently");
    return 0;
}
