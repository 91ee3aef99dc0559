#include "kovactl_run.h"

#include "program_run.h"

#include <algorithm>

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

KovactlRun run_kovactl(const std::vector<std::string> &args, const KovactlInput &input) {
    const std::string trace_file = program_run::temp_file("trace"),
                      dump_file = program_run::temp_file("dump");
    std::vector<std::string> command;
    if (input.simulated) command = {"--sim", "--trace", trace_file, "--dump", dump_file};
    command.insert(command.end(), args.begin(), args.end());

    const program_run::Outcome outcome =
        program_run::run(KOVACTL_PATH, command, program_run::Input{input.terminal, input.answer});
    KovactlRun run;
    run.status = outcome.status;
    run.out = outcome.out;
    run.err = outcome.err;
    run.trace = after_mapping(program_run::lines_of(program_run::take(trace_file)));
    run.regs = program_run::parse_dump(program_run::take(dump_file));
    return run;
}
