// Numbers on the programs' command lines: decimal or 0x hex, strict, and the
// one message that names the range a number must be in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kova::tool {

// Decimal or 0x hex, no sign, nothing trailing, at most 32 bits.
bool parse_number(std::string_view text, std::uint32_t &value);

// As parse_number, and within [min, max].
bool parse_number_in(std::string_view text, std::uint32_t min, std::uint32_t max, std::uint32_t &value);

// "a number from 0 to 100000", or in hex "a number from 0x0 to 0xFF".
std::string number_range(std::uint32_t min, std::uint32_t max, bool hex = false);

} // namespace kova::tool
