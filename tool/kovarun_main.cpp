// kovarun: a hardware-flavour program on the simulated controller.
//
//   kovarun [kovarun options] -- PROGRAM [ARGS...]
//
// The set-up, the frames after the run and the summary are kovasim's; in
// place of capview's logic the program runs traced, its port I/O, memory
// device and register window served by the simulated controller.
#include "kovarun/runner.h"
#include "simulated_run.h"

#include <string>

namespace {

using kova::simrun::Options;

int run_traced(kova::sim::Controller &sim, const Options &) {
    return kova::run::run(sim);
}

constexpr kova::simrun::OptionRow kRows[] = {
    {.name = "--card",
     .argument = "FILE",
     .help = "run PROGRAM on the virtual card FILE (made when missing; default $KOVA_CARD)",
     .take = kova::simrun::take_card},
    {.name = "--sysfs",
     .argument = "DIR",
     .help = "the device-check tree PROGRAM sees (default: one describing the simulated controller)",
     .take = [](Options &, std::string_view v, std::string &e) { return kova::run::take_sysfs(v, e); }},
    {.name = "--wait-children",
     .argument = nullptr,
     .help = "when PROGRAM ends, wait for its descendants still running (default: they are killed)",
     .take =
         [](Options &, std::string_view, std::string &) {
             kova::run::wait_for_children();
             return true;
         }},
    {.name = "--strict-ports",
     .argument = nullptr,
     .help = "stop PROGRAM (status 3) at port I/O on a port that is not the controller's, where by\n"
             "default it is served with a warning",
     .take =
         [](Options &, std::string_view, std::string &) {
             kova::run::set_strict_ports();
             return true;
         }},
};

constexpr kova::simrun::Program kKovarun = {
    .name = "kovarun",
    .operands = "-- PROGRAM [ARGS...]",
    .about = "Runs PROGRAM, a hardware-flavour program, on a simulated controller; its standard input,\n"
             "output, error and exit status are its own.  kovarun's options stand before --.\n\n",
    .help_help = "print this help and exit",
    .rows = kRows,
    .first_operand = nullptr,
    .operand_takes_value = nullptr, // the program ends kovarun's options
    .card_from_environment = true,
    .card_lock_beside_card = true,
    .always_drawn = true, // the traced program itself may read video memory (kovactl grab) at any time
    .operands_error = kova::run::operands_error,
    .record_lock_in = kova::run::set_state_dir,
    .prepare = kova::run::prepare,
    .run = run_traced,
};

} // namespace

int main(int argc, char **argv) {
    return kova::simrun::run_program(kKovarun, argc, argv);
}
