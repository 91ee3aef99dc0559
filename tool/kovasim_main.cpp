// kovasim: capview on the simulated controller.
//
//   kovasim [kovasim options] [--] [capview options]
//
// Runs capview's own program logic against a fresh simulated controller;
// standard output and exit status are capview's.  kovasim's options may stand
// anywhere before "--"; every other argument goes to capview.  The controller
// has its video model (a desktop in the frame buffer, a source on the video
// port).  Afterwards N more frames pass, and it writes the trace, the register
// dump and the pictures if asked, and a summary of what the engines were left
// doing on standard error.
#include "capview.h"
#include "lock_state.h"
#include "simulated_run.h"

#include <cstdio>
#include <string>

namespace {

using kova::simrun::Options;

// The state directory where a sync lock is recorded, for capview's hook.
std::string g_state_dir;

void record_sync_lock() {
    std::string error;
    if (!kova::tool::record_lock_state(g_state_dir, error))
        std::fprintf(stderr, "kovasim: warning: sync lock not recorded: %s\n", error.c_str());
}

void record_lock_in(const std::string &dir) {
    g_state_dir = dir;
    capview_after_sync_lock = record_sync_lock;
}

// capview's run; on a card, --frames alone lets the engines run on without it.
int run_capview(kova::sim::Controller &sim, const Options &options) {
    const bool frames_only = sim.on_card() && options.frames_given && !options.separator &&
                             options.operands.size() == 2; // "capview" and the terminating null
    if (frames_only) return 0;
    return capview_main(static_cast<int>(options.operands.size()) - 1,
                        const_cast<char **>(options.operands.data()));
}

constexpr kova::simrun::OptionRow kRows[] = {
    {.name = "--card",
     .argument = "FILE",
     .help = "run on the virtual card FILE (made when missing; default $KOVA_CARD); with --frames\n"
             "and no capview options, only the frames pass",
     .take = kova::simrun::take_card},
};

constexpr kova::simrun::Program kKovasim = {
    .name = "kovasim",
    .operands = "[--] [capview options]",
    .about = "Runs capview on a simulated controller; standard output and exit status are capview's.\n"
             "kovasim's options may stand anywhere before --; all other arguments go to capview.\n\n",
    .help_help = "print this help and exit (capview's own: kovasim -- --help)",
    .rows = kRows,
    .first_operand = "capview",
    .operand_takes_value = capview_takes_value,
    .card_from_environment = true,
    .card_lock_beside_card = false,
    .always_drawn = false,
    .operands_error = nullptr,
    .record_lock_in = record_lock_in,
    .prepare = nullptr,
    .run = run_capview,
};

} // namespace

int main(int argc, char **argv) {
    return kova::simrun::run_program(kKovasim, argc, argv);
}
