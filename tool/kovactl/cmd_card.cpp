// card: virtual cards (sim/card.h) made, put back to power-on, dumped and
// described.  Files alone: no controller is opened, in either flavour.  The
// simulated program does the work (card_sim.cpp); the hardware program hands
// these commands over to it.
#include "kovactl.h"
#include "session.h"

namespace kova::ctl {

namespace {

constexpr ArgSpec kFile[] = {{.name = "FILE", .kind = ArgSpec::Kind::Text}};

constexpr Command kCommands[] = {
    {.name = "card",
     .numbered = false,
     .word = "create",
     .args = kFile,
     .writes = false,
     .handler = card_create,
     .help = "make the virtual card FILE in the power-on state (it must not exist)",
     .sessionless = true},
    {.name = "card",
     .numbered = false,
     .word = "reset",
     .args = kFile,
     .writes = false,
     .handler = card_reset,
     .help = "put the virtual card FILE back to power-on (its recorded lock goes too)",
     .sessionless = true},
    {.name = "card",
     .numbered = false,
     .word = "dump",
     .args = kFile,
     .writes = false,
     .handler = card_dump,
     .help = "print the registers of the virtual card FILE, one REG=HEX line each (the --dump format)",
     .sessionless = true},
    {.name = "card",
     .numbered = false,
     .word = "info",
     .args = kFile,
     .writes = false,
     .handler = card_info,
     .help = "describe the virtual card FILE: format, clocks, and what status prints",
     .sessionless = true},
};

} // namespace

std::span<const Command> card_commands() {
    return kCommands;
}

} // namespace kova::ctl
