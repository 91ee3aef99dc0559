// Register names and settings in text form, as the programs take them with
// --set and write them with --dump:
//   GRxx=HH, SRxx=HH, CRxx=HH   an unpaged register
//   GRxx@pp=HH, SRxx@pp=HH      a paged register in page pp
//   TVxxxx=HHHH                 a 16-bit TV register
//   Pxxxx=HH                    a single port
// Names and values are hexadecimal, in either case (a value may carry 0x).
#pragma once

#include "register_id.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kova::registers {

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

// The name of a register in the syntax above, e.g. "GRE5@80", "TVE47C", "P03DA".
std::string register_name(Reg reg);

// One setting as a line of text without its newline, e.g. "GRE5@80=1F",
// "TVE47C=0344": what parse_setting takes back.
std::string setting_line(Reg reg, std::uint32_t value);

// The data ports of GR, SR and CR: settings name their registers instead.
bool is_data_port(std::uint32_t port);

// Every indexed register by name (GR, SR, then CR, each by index), a paged
// one once in each page of pages_in_use().
std::vector<std::string> indexed_register_names();

} // namespace kova::registers
