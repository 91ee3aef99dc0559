// The controller's register state as one reading: what kovactl's dry run
// copies onto the simulated controller and what a card file records before a
// traced run.  The reading goes through a RegisterReader, so the same
// accesses reach a live controller (the library's primitives, or a tracer's
// back end) and a simulated one.
#pragma once

#include "controller_state.h"
#include "register_text.h"

#include <functional>

namespace kova::state {

// Reads every GR, SR and CR (paged ones in each page the library uses), the
// TV-encoder registers of the map and of the sync-lock images, and the
// readable single ports of the map, handing each register and the value read
// to `take`.  The page registers GR FA and GR BF are read first; a paged read
// selects its page and puts back the page found, and the two are handed over
// after the register files with the values they hold again.  Nothing else is
// written.
void read_snapshot(RegisterReader &reader, const std::function<void(const registers::Setting &)> &take);

} // namespace kova::state
