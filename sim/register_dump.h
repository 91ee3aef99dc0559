// The simulated controller's register state as settings (register_text.h):
// one applied to the state, and the whole state written as lines, as kovasim
// takes them with --set and writes them with --dump.
#pragma once

#include "controller.h"
#include "register_text.h"

#include <string>

namespace kova::sim {

// Applies a setting to the register state.
void apply(Controller &sim, const registers::Setting &setting);

// Writes the register state, one "NAME=HEX" line per register: every
// register that is not 0 or is not 0 at power-on, so that feeding the lines
// back as settings to a fresh controller reproduces the state.
std::string dump(const Controller &sim);

} // namespace kova::sim
