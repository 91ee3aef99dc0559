// Register reads and writes through the library's primitives (so that a
// simulated run traces every access).  A paged register is reached in its
// page: the page register is set for the access and the page it held is put
// back.
#pragma once

#include "controller_state.h"
#include "register_id.h"

#include <cstdint>

namespace kova::ctl::regs {

// Any register by its name (register_id.h); page kCurrentPage reaches a
// paged register in whatever page is current.
std::uint16_t read(registers::Reg reg);
void write(registers::Reg reg, std::uint16_t value);
// Writes only the bits set in mask; the others keep their value.
void write_masked(registers::Reg reg, std::uint16_t value, std::uint16_t mask);

// The controller's state as the decoder reads it, through read() above.
class Reader final : public state::RegisterReader {
  public:
    using state::RegisterReader::gr;
    using state::RegisterReader::sr;
    std::uint8_t gr(std::uint8_t index, int page) override;
    std::uint8_t sr(std::uint8_t index, int page) override;
    std::uint8_t cr(std::uint8_t index) override;
    std::uint8_t port(std::uint16_t port) override;
    std::uint16_t tv(std::uint16_t index) override;
};

} // namespace kova::ctl::regs
