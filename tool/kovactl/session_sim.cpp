// The simulated flavour: a fresh simulated controller per run, preset with
// --set and --fail; afterwards the trace and the register dump.
#include "controller.h"
#include "physmap.h"
#include "portmem.h"
#include "register_names.h"
#include "session.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace kova::ctl {

const bool kSimulatedFlavour = true;

namespace {

// The register state before a dry run, put back after it.
std::unique_ptr<sim::Controller> g_before_dry_run;

bool write_output(const std::string &file, const std::string &text) {
    if (file == "-") return std::fputs(text.c_str(), stderr) >= 0;
    std::FILE *out = std::fopen(file.c_str(), "w");
    if (!out) {
        error(kExitFailure, "cannot write %s: %s", file.c_str(), std::strerror(errno));
        return false;
    }
    const bool written = std::fputs(text.c_str(), out) >= 0;
    if (std::fclose(out) != 0 || !written) {
        error(kExitFailure, "cannot write %s: %s", file.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

int hand_over_to_simulation(int, char **) {
    return kExitFailure; // never called: this program is the simulation
}

int dry_run_on_copy(const Options &, int, char **, int) {
    return kExitFailure; // never called: a simulated run makes its dry run in place
}

int open_session(const Options &options) {
    auto &sim = sim::controller();
    sim.reset();
    for (const auto &setting : options.settings)
        sim::apply(sim, setting);
    for (const sim::Failure failure : options.failures)
        sim.fail(failure);
    if (options.dry_run) g_before_dry_run = std::make_unique<sim::Controller>(sim);

    return map_controller();
}

int close_session(const Options &options, int status) {
    std::fflush(stdout);
    auto &sim = sim::controller();
    const std::string trace = sim.trace_text();
    if (options.dry_run) {
        std::fputs(trace.c_str(), stdout);
        std::fflush(stdout);
        if (g_before_dry_run) sim = *g_before_dry_run;
    }
    bool written = true;
    if (!options.trace_file.empty()) written &= write_output(options.trace_file, trace);
    if (!options.dump_file.empty()) written &= write_output(options.dump_file, sim::dump(sim));
    return !written && status == kExitOk ? kExitFailure : status;
}

} // namespace kova::ctl
