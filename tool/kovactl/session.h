// The two flavours of kovactl: the hardware program and the program on the
// simulated controller are built from the same sources; only the session
// differs.
#pragma once

#include "kovactl.h"

namespace kova::ctl {

// True in the program built on the simulated controller.
extern const bool kSimulatedFlavour;

// Hardware flavour: hands a --sim run over to the simulated program
// (returns only when that fails).  The simulated flavour does nothing here.
int hand_over_to_simulation(int argc, char **argv);

// Simulated flavour: the first step of a run.  The card comes from the
// options (find_card), never from the process-wide controller's own look at
// $KOVA_CARD.  The hardware flavour does nothing here.
void leave_card_to_options();

// Simulated flavour: the virtual card of the run (--card, else $KOVA_CARD)
// and its state directory.  The hardware flavour has none (--card needs --sim).
void find_card(Options &options);

// The card commands' work on a virtual card (sim/card.h), in the simulated
// flavour (card_sim.cpp).  The hardware flavour hands the command line over
// to the simulated program, as for --sim.
int card_create(const Options &options, const Args &args);
int card_reset(const Options &options, const Args &args);
int card_dump(const Options &options, const Args &args);
int card_info(const Options &options, const Args &args);

// Hardware flavour, --dry-run: reads the controller's register state and runs
// the command on the simulated program loaded with it.  Returns the exit status.
int dry_run_on_copy(const Options &options, int argc, char **argv, int command_start);

// Gets the controller ready for a command (I/O privilege and mapping).
// Returns kExitOk or the exit status to stop with.
int open_session(const Options &options);

// The I/O privilege and the mapping, as capview makes them, with a message
// on failure: the last step of either flavour's open_session.
int map_controller();

// After the command: trace, dump and dry-run output of the simulated flavour.
// Returns the exit status.
int close_session(const Options &options, int status);

} // namespace kova::ctl
