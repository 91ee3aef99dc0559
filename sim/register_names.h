// Register settings in text form, as kovasim takes them with --set and writes
// them with --dump:
//   GRxx=HH, SRxx=HH, CRxx=HH   an unpaged register
//   GRxx@pp=HH, SRxx@pp=HH      a paged register in page pp
//   TVxxxx=HHHH                 a 16-bit TV register
//   Pxxxx=HH                    a single port
// Names and values are hexadecimal, in either case (a value may carry 0x).
#pragma once

#include "controller.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kova::sim {

struct Setting {
    Reg reg;
    std::uint16_t value;
};

// Parses a register name as above (without "=HEX").  On failure returns false
// and puts a one-line reason in error.
bool parse_register(std::string_view name, Reg &reg, std::string &error);

// The largest value of a register: 0xFFFF for a TV register, else 0xFF.
std::uint32_t value_limit(Reg reg);

// A register value: hex digits (0x optional) for a value up to limit.
bool parse_register_value(std::string_view text, std::uint32_t limit, std::uint32_t &value);

// The range message of a register value: "a hex value from 0 to 0xFF".
std::string register_value_range(std::uint32_t limit);

// Parses "NAME=HEX".  On failure returns false and puts a one-line reason in
// error (a malformed or unknown name, a paged register without its page or an
// unpaged one with a page, a value too wide for the register).
bool parse_setting(std::string_view text, Setting &setting, std::string &error);

// Applies a setting to the register state.
void apply(Controller &sim, const Setting &setting);

// The name of a register in the syntax above, e.g. "GRE5@80", "TVE47C", "P03DA".
std::string register_name(Reg reg);

// Writes the register state, one "NAME=HEX" line per register: every
// register that is not 0 or is not 0 at power-on, so that feeding the lines
// back as settings to a fresh controller reproduces the state.
std::string dump(const Controller &sim);

} // namespace kova::sim
