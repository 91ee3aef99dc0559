// The card's register state before a run, kept as a virtual card file that
// kovarun and kovasim start from (--card): the run can be repeated on the
// simulated controller from the state the card was in.
#pragma once

#include "controller_state.h"

#include <string>

namespace kova::run {

// Reads the registers through `reader` (the reading of kovactl's dry run: the
// paged registers in the library's pages, the pages put back) and writes them
// to the card file `path`: a new card made as `kovactl card create` makes
// one, or an existing card put back to power-on, then the registers set.  A
// file that is not a card is left as it is, and a card that cannot be had is
// not read for.  False with a one-line reason in `error`.
bool record_card(state::RegisterReader &reader, const std::string &path, std::string &error);

} // namespace kova::run
