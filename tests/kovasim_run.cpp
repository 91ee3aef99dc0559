#include "kovasim_run.h"

#include "capview.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string_view>

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

namespace {

// kovasim's options that take a value: kovarun takes the same ones.
constexpr std::string_view kStateOptions[] = {"--trace",  "--set",    "--fail", "--dump", "--state-dir",
                                              "--source", "--frames", "--png",  "--y4m"};

// kovasim's command line as kovarun's options and capview's arguments.
struct SplitArgs {
    std::vector<std::string> runner, capview;
    bool state_dir = false;
};

SplitArgs split(const std::vector<std::string> &args) {
    SplitArgs split;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--") {
            split.capview.insert(split.capview.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.starts_with("--") ? arg.substr(0, equals) : arg;
        if (std::ranges::find(kStateOptions, name) != std::end(kStateOptions)) {
            split.state_dir |= name == "--state-dir";
            split.runner.push_back(arg);
            if (equals == std::string::npos && i + 1 < args.size()) split.runner.push_back(args[++i]);
            continue;
        }
        split.capview.push_back(arg);
        if (capview_takes_value(arg.c_str()) != 0 && i + 1 < args.size()) split.capview.push_back(args[++i]);
    }
    return split;
}

KovasimRun collect(const program_run::Outcome &outcome, const std::string &trace_file,
                   const std::string &dump_file) {
    KovasimRun run;
    run.status = outcome.status;
    run.out = outcome.out;
    run.err = outcome.err;
    run.trace = program_run::lines_of(program_run::take(trace_file));
    run.regs = program_run::parse_dump(program_run::take(dump_file));
    return run;
}

std::vector<std::string> with_files(const std::string &trace_file, const std::string &dump_file,
                                    const std::vector<std::string> &args, bool with_trace_and_dump) {
    std::vector<std::string> command;
    if (with_trace_and_dump) command = {"--trace", trace_file, "--dump", dump_file};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

// What capview itself wrote on standard error (not kovasim's or kovarun's
// lines); kovasim records the sync lock for capview and warns in its name.
std::vector<std::string> capview_messages(const std::string &err) {
    const std::string recording = "kovasim: warning: sync lock not recorded";
    std::vector<std::string> lines;
    for (const std::string &line : program_run::lines_of(err))
        if (line.starts_with("capview: "))
            lines.push_back(line);
        else if (line.starts_with(recording))
            lines.push_back("capview" + line.substr(std::string("kovasim").size()));
    return lines;
}

// capview on the hardware, under kovarun, with the same options; it must
// agree with its simulated twin.
KovasimRun run_hardware_capview(const std::vector<std::string> &args, bool with_trace_and_dump,
                                const KovasimRun &twin, const program_run::StateDirCopy &state) {
    const std::string trace_file = program_run::temp_file("trace"),
                      dump_file = program_run::temp_file("dump");
    const SplitArgs parts = split(with_files(trace_file, dump_file, args, with_trace_and_dump));
    // Its own state directory unless the case names one: it records every
    // lock and takes the register-owner lock there.
    const std::string state_dir = parts.state_dir ? "" : program_run::temp_dir("state");
    // Found on PATH, as a user starts it: its messages name it "capview".
    const std::string capview = CAPVIEW_PATH;
    const char *path = std::getenv("PATH");
    program_run::Input input;
    input.env = {"PATH=" + capview.substr(0, capview.rfind('/')) + ":" + (path != nullptr ? path : "")};
    if (!state_dir.empty()) input.env.push_back("KOVA_STATE_DIR=" + state_dir);
    KovasimRun hardware = collect(
        program_run::run_under_runner(parts.runner, "capview", parts.capview, input), trace_file, dump_file);
    hardware.out = state.as_given(hardware.out);
    hardware.err = state.as_given(hardware.err);
    if (!state_dir.empty()) program_run::remove_dir(state_dir);

    EXPECT_EQ(hardware.status, twin.status) << "capview under kovarun\n" << hardware.err;
    EXPECT_EQ(hardware.out, twin.out) << "capview under kovarun";
    EXPECT_EQ(hardware.trace, twin.trace) << "capview under kovarun";
    EXPECT_EQ(hardware.regs, twin.regs) << "capview under kovarun";
    EXPECT_EQ(capview_messages(hardware.err), capview_messages(twin.err)) << "capview under kovarun";
    EXPECT_EQ(program_run::split_summary(hardware.err).summary, program_run::split_summary(twin.err).summary)
        << "capview under kovarun";
    EXPECT_EQ(state.copy_record(), state.given_record()) << "capview under kovarun";
    return hardware;
}

KovasimRun run_twin(const std::vector<std::string> &args, bool with_trace_and_dump) {
    const std::string trace_file = program_run::temp_file("trace"),
                      dump_file = program_run::temp_file("dump");
    return collect(
        program_run::run(KOVASIM_PATH, with_files(trace_file, dump_file, args, with_trace_and_dump)),
        trace_file, dump_file);
}

} // namespace

KovasimRun run_kovasim(const std::vector<std::string> &args, bool with_trace_and_dump) {
    if (!program_run::hardware_flavour()) return run_twin(args, with_trace_and_dump);
    const program_run::StateDirCopy state(args);
    const KovasimRun twin = run_twin(args, with_trace_and_dump);
    // kovasim's own help and usage errors stop before capview starts: the
    // hardware program has nothing to say to them.
    const bool capview_ran = !program_run::split_summary(twin.err).summary.empty();
    // A twin built without libpng (the i386 build) only warns about --png; the
    // runner from another build writes the picture: they differ by build alone.
    const bool png_unsupported = twin.err.find("was built without libpng") != std::string::npos;
    if (!capview_ran || png_unsupported) return twin;
    return run_hardware_capview(state.for_copy(args), with_trace_and_dump, twin, state);
}
