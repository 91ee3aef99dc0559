// Fuzz target: kovasim's command line, in process: its own options, the
// register settings and failures they make, and the split of the rest to
// capview, which then runs on the simulated controller.
//
// Input: arguments separated by NUL bytes.  Command lines that name a file
// (--trace, --dump, --state-dir, --png, --y4m, --source FILE), ask for more
// than a few frames, or end the process (--version, --list-options) are not run.  Beyond
// crashes, the target stops when the same command line run twice ends
// differently or leaves a different trace.
#include "harness.h"
#include "program_filter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int kovasim_main(int argc, char **argv); // tool/kovasim_main.cpp, its main renamed in this build

namespace {

bool runnable(const std::vector<std::string> &args) {
    if (kova::fuzz::any_names_option(
            args, {"--trace", "--dump", "--state-dir", "--png", "--y4m", "--version", "--list-options"}))
        return false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const bool attached = arg.find('=') != std::string::npos;
        const std::string value = attached              ? arg.substr(arg.find('=') + 1)
                                  : i + 1 < args.size() ? args[i + 1]
                                                        : "";
        if (kova::fuzz::names_option(arg, {"--source"}) && value != "pal" && value != "ntsc" &&
            value != "none")
            return false;
        if (kova::fuzz::names_option(arg, {"--frames"}) &&
            (value.size() != 1 || value[0] < '0' || value[0] > '3'))
            return false;
    }
    return true;
}

kova::fuzz::ProgramRun run(const std::vector<std::string> &args) {
    // No frames and no picture of the video model unless the input asks for
    // them: they cost a tenth of a second a run under the sanitizers and add
    // nothing to the parsing under test.
    std::vector<std::string> with_frames{"--frames=0", "--source=none"};
    with_frames.insert(with_frames.end(), args.begin(), args.end());
    return kova::fuzz::run_program("kovasim", kovasim_main, with_frames);
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
    if (!kova::fuzz::same_run(run(args), first)) {
        std::fprintf(stderr, "kovasim fuzz target: a second run of the same command line runs differently\n");
        std::abort();
    }
    return 0;
}
