#include "kovactl_run.h"

#include "program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <span>
#include <string_view>

std::vector<std::string> after_mapping(const std::vector<std::string> &trace) {
    const auto close = std::find(trace.begin(), trace.end(), "close");
    return close == trace.end() ? trace : std::vector<std::string>(close + 1, trace.end());
}

std::vector<std::string> presets(const std::vector<std::string> &settings) {
    std::vector<std::string> args;
    for (const auto &s : settings) {
        args.push_back("--set");
        args.push_back(s);
    }
    return args;
}

namespace {

// kovactl's options before the command that only the simulated controller
// has: under kovarun they are the runner's.
constexpr std::string_view kStateOptions[] = {"--set", "--fail", "--trace", "--dump"};
// Its options that take a value and stay with the program.
constexpr std::string_view kProgramOptions[] = {"--state-dir"};

struct SplitArgs {
    std::vector<std::string> runner, program;
    bool dry_run = false;
    bool simulated_only = false; // a command of the simulated controller alone
};

// The registers without those a dry run on the hardware moves (see below).
std::map<std::string, std::uint32_t> without_mapping(std::map<std::string, std::uint32_t> regs) {
    std::erase_if(regs, [](const auto &reg) { return reg.first.starts_with("P") || reg.first == "GR33"; });
    return regs;
}

bool one_of(std::span<const std::string_view> names, const std::string &name) {
    return std::ranges::find(names, name) != names.end();
}

// A --sim command line as kovarun's options and the hardware kovactl's arguments.
SplitArgs split(const std::vector<std::string> &args) {
    SplitArgs split;
    std::size_t i = 0;
    for (; i < args.size() && args[i].starts_with("-") && args[i] != "--"; ++i) {
        const std::string &arg = args[i];
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, arg.starts_with("--") ? equals : std::string::npos);
        const bool state = one_of(kStateOptions, name);
        if (name == "--sim") continue;
        split.dry_run |= name == "-n" || name == "--dry-run";
        auto &to = state ? split.runner : split.program;
        to.push_back(arg);
        if ((state || one_of(kProgramOptions, name)) && equals == std::string::npos && i + 1 < args.size())
            to.push_back(args[++i]);
    }
    split.program.insert(split.program.end(), args.begin() + static_cast<long>(i), args.end());
    // screenshot and grab --source: the hardware refuses them before anything else.
    const auto command = args.begin() + static_cast<long>(i);
    split.simulated_only = command != args.end() &&
                           (*command == "screenshot" ||
                            (*command == "grab" && std::find(command, args.end(), "--source") != args.end()));
    return split;
}

KovactlRun collect(const program_run::Outcome &outcome, const std::string &trace_file,
                   const std::string &dump_file) {
    KovactlRun run;
    run.status = outcome.status;
    run.out = outcome.out;
    run.err = outcome.err;
    run.trace = after_mapping(program_run::lines_of(program_run::take(trace_file)));
    run.regs = program_run::parse_dump(program_run::take(dump_file));
    return run;
}

// The hardware kovactl under kovarun.  It takes the register-owner lock and
// finds the lock-state record in its state directory: the one the command
// line names, else the test's $KOVA_STATE_DIR when `test_dir`, else a fresh one.
KovactlRun run_hardware_kovactl(const std::vector<std::string> &runner_options,
                                const std::vector<std::string> &args, const KovactlInput &input,
                                bool test_dir) {
    const std::string trace_file = program_run::temp_file("trace"),
                      dump_file = program_run::temp_file("dump");
    std::vector<std::string> runner = {"--trace", trace_file, "--dump", dump_file};
    runner.insert(runner.end(), runner_options.begin(), runner_options.end());
    program_run::Input in{input.terminal, input.answer};
    const bool own_dir = (!test_dir || std::getenv("KOVA_STATE_DIR") == nullptr) &&
                         std::ranges::find(args, std::string("--state-dir")) == args.end();
    const std::string state_dir = own_dir ? program_run::temp_dir("state") : "";
    if (own_dir) in.env = {"KOVA_STATE_DIR=" + state_dir};
    KovactlRun run =
        collect(program_run::run_under_runner(runner, KOVACTL_PATH, args, in), trace_file, dump_file);
    if (own_dir) program_run::remove_dir(state_dir);
    run.err = program_run::split_summary(run.err).program; // kovactl's own, without the runner's summary
    return run;
}

// Standard error without grab's advice for a stopped engine, which names the
// way that works on each flavour.
std::string without_advice(std::string err) {
    const std::string stopped = "nothing is being captured (";
    const auto at = err.find(stopped);
    const auto end = at == std::string::npos ? at : err.find(")\n", at);
    if (end != std::string::npos) err.erase(at + stopped.size() - 2, end + 1 - (at + stopped.size() - 2));
    return err;
}

// The same command on the hardware, confirmed with -y (the twin never asks);
// it must agree with its simulated twin.
KovactlRun compare_with_hardware(const std::vector<std::string> &args, const KovactlInput &input,
                                 const KovactlRun &twin, const program_run::StateDirCopy &state) {
    SplitArgs parts = split(state.for_copy(args));
    if (parts.simulated_only || input.twin_only) return twin;
    parts.program.insert(parts.program.begin(), "-y");
    KovactlRun hardware = run_hardware_kovactl(parts.runner, parts.program, input, false);
    hardware.out = state.as_given(hardware.out);
    hardware.err = state.as_given(hardware.err);
    // A --set or --fail that the twin refuses (a usage error) is refused by
    // kovarun, whose options they are there: a case about those options alone.
    if (twin.status == 64 && hardware.status == 2 && hardware.err.starts_with("kovarun: ")) return twin;
    EXPECT_EQ(hardware.status, twin.status) << "kovactl under kovarun\n" << hardware.err;
    EXPECT_EQ(without_advice(hardware.err), without_advice(twin.err)) << "kovactl under kovarun";
    EXPECT_EQ(state.copy_record(), state.given_record()) << "kovactl under kovarun";
    if (!parts.dry_run) {
        EXPECT_EQ(hardware.out, twin.out) << "kovactl under kovarun";
        EXPECT_EQ(hardware.trace, twin.trace) << "kovactl under kovarun";
        // A twin stopped before its controller existed dumps nothing; the
        // hardware run's trace above shows it touched nothing either.
        if (!twin.regs.empty()) {
            EXPECT_EQ(hardware.regs, twin.regs) << "kovactl under kovarun";
        }
        return hardware;
    }
    // A dry run on the hardware maps the controller (GR 33 unlocks it) and
    // reads the whole register file through the index ports for its copy; the
    // twin's copy is simulated already.  The copy's trace after its mapping,
    // and every other register, are the same.
    EXPECT_EQ(after_mapping(program_run::lines_of(hardware.out)),
              after_mapping(program_run::lines_of(twin.out)))
        << "kovactl under kovarun";
    EXPECT_EQ(without_mapping(hardware.regs), without_mapping(twin.regs)) << "kovactl under kovarun";
    return hardware;
}

} // namespace

KovactlRun run_kovactl(const std::vector<std::string> &args, const KovactlInput &input) {
    const bool hardware = program_run::hardware_flavour();
    if (!input.simulated && hardware) return run_hardware_kovactl({}, args, input, true);
    const program_run::StateDirCopy state(hardware ? args : std::vector<std::string>{});
    const std::string trace_file = program_run::temp_file("trace"),
                      dump_file = program_run::temp_file("dump");
    std::vector<std::string> command;
    if (input.simulated) command = {"--sim", "--trace", trace_file, "--dump", dump_file};
    command.insert(command.end(), args.begin(), args.end());
    const KovactlRun twin =
        collect(program_run::run(KOVACTL_PATH, command, program_run::Input{input.terminal, input.answer}),
                trace_file, dump_file);
    if (!input.simulated || !hardware) return twin;
    return compare_with_hardware(args, input, twin, state);
}
