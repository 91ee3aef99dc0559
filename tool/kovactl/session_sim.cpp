// The simulated flavour: a fresh simulated controller per run, or the virtual
// card of --card, preset with --set and --fail; afterwards the trace and the
// register dump.
#include "card.h"
#include "controller.h"
#include "output_file.h"
#include "physmap.h"
#include "portmem.h"
#include "register_dump.h"
#include "session.h"
#include "signal_hold.h"
#include "standard_output.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace kova::ctl {

const bool kSimulatedFlavour = true;

namespace {

// The register state before a dry run, put back after it.
std::unique_ptr<sim::Controller> g_before_dry_run;

// Writes the file whole (a regular file through a temporary), the old one
// kept on failure.
bool write_output(const std::string &file, const std::string &text) {
    if (file == "-") return std::fputs(text.c_str(), stderr) >= 0;
    picture::OutputFile out;
    std::string message;
    if (out.open(file, message) && std::fputs(text.c_str(), out.get()) >= 0 && out.commit(message))
        return true;
    error(kExitFailure, "%s",
          message.empty() ? ("cannot write " + file + ": " + std::strerror(errno)).c_str() : message.c_str());
    return false;
}

} // namespace

int hand_over_to_simulation(int, char **) {
    return kExitFailure; // never called: this program is the simulation
}

int dry_run_on_copy(const Options &, int, char **, int) {
    return kExitFailure; // never called: a simulated run makes its dry run in place
}

void leave_card_to_options() {
    sim::ignore_environment_card();
}

void find_card(Options &options) {
    if (options.card.empty()) options.card = sim::environment_card();
    if (!options.card.empty()) options.card_state_dir = sim::card_state_dir(options.card);
}

namespace {

constexpr int kExitRegistersBusy = 2; // as the hardware flavour's

// The card of --card or $KOVA_CARD, held to the end of the program; a dry
// run takes a copy of it and lets it go.  kExitOk or the status after a message.
int attach_card(sim::Controller &sim, const Options &options) {
    sim::Card::Use use;
    use.program = "kovactl";
    if (options.state_dir_given) use.state_dir = options.state_dir_option;
    std::string reason;
    bool busy = false;
    auto card = sim::Card::open(options.card, use, reason, &busy);
    if (!card) {
        error(kExitFailure, "--card %s", reason.c_str());
        return busy ? kExitRegistersBusy : kExitFailure;
    }
    sim.attach(std::move(card));
    if (options.dry_run) sim.detach();
    return kExitOk;
}

} // namespace

int open_session(const Options &options) {
    auto &sim = sim::controller();
    if (!options.card.empty())
        if (const int status = attach_card(sim, options)) return status;
    sim.begin();
    for (const auto &setting : options.settings)
        sim::apply(sim, setting);
    for (const registers::Failure failure : options.failures)
        sim.fail(failure);
    if (options.dry_run) g_before_dry_run = std::make_unique<sim::Controller>(sim);

    return map_controller();
}

int close_session(const Options &options, int status) {
    tool::flush_standard_output();
    auto &sim = sim::controller();
    const std::string trace = sim.trace_text();
    if (options.dry_run) {
        std::fputs(trace.c_str(), stdout);
        tool::flush_standard_output();
        if (g_before_dry_run) sim = *g_before_dry_run;
    }
    bool written = true;
    const tool::SignalHold hold; // each file is left old or complete new
    if (!options.trace_file.empty()) written &= write_output(options.trace_file, trace);
    if (!options.dump_file.empty()) written &= write_output(options.dump_file, sim::dump(sim));
    return !written && status == kExitOk ? kExitFailure : status;
}

} // namespace kova::ctl
