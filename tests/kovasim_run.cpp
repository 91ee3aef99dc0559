#include "kovasim_run.h"

#include "program_run.h"

#include <algorithm>

const char *const kUsageText = "\nUsage : capview [args]\n"
                               " Valid arguments:\n"
                               "  -q, --off:            disable Overscan\n"
                               "  -b, --bobmode:        use BOBMODE (default: WEAVEMODE)\n"
                               "  -w, --destwidth:      destination width (720)\n"
                               "  -h, --destheight:     destination height (576)\n"
                               "  -x, --offsetx:        horizontal offset (0)\n"
                               "  -y, --offsety:        vertical offset (0)\n"
                               "  -X, --shrinkx:        horizontal shrink (0)\n"
                               "  -Y, --shrinky:        vertical shrink (0)\n"
                               "  -B, --bitclipwidth:   horizontal cut (0)\n"
                               "  -C, --bitclipheight:  vertical cut (0)\n"
                               "  -W, --sourcewidth:    source width (720)\n"
                               "  -H, --sourceheight:   source height (576)\n"
                               "  -d, --doublebuffer:   use doubleBuffer (for LCD TV)\n"
                               "  -o, --blank:          clear output\n"
                               "  -s, --synclock:       use synclock function\n"
                               "      [0=640x480; 1=720x540; 2=768x576; 3=720x576]\n"
                               "  -v, --verbose:        be verbose\n";

long KovasimRun::count(const std::string &line) const {
    return std::count(trace.begin(), trace.end(), line);
}

long KovasimRun::find(const std::string &line, long from) const {
    for (long i = std::max(from, 0L); i < static_cast<long>(trace.size()); ++i)
        if (trace[static_cast<std::size_t>(i)] == line) return i;
    return -1;
}

KovasimRun run_kovasim(const std::vector<std::string> &args, bool with_trace_and_dump) {
    const std::string trace_file = program_run::temp_file("trace"),
                      dump_file = program_run::temp_file("dump");
    std::vector<std::string> command;
    if (with_trace_and_dump) command = {"--trace", trace_file, "--dump", dump_file};
    command.insert(command.end(), args.begin(), args.end());

    const program_run::Outcome outcome = program_run::run(KOVASIM_PATH, command);
    KovasimRun run;
    run.status = outcome.status;
    run.out = outcome.out;
    run.err = outcome.err;
    run.trace = program_run::lines_of(program_run::take(trace_file));
    run.regs = program_run::parse_dump(program_run::take(dump_file));
    return run;
}
