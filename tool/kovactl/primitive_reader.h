// Reads registers through the library's primitives (so that a simulated run
// traces every access), selecting the page of a paged register and putting
// back the page it found.
#pragma once

#include "controller.h"
#include "controller_state.h"

#include <cstdint>

namespace kova::ctl {

class PrimitiveReader final : public state::RegisterReader {
  public:
    using state::RegisterReader::gr;
    using state::RegisterReader::sr;
    std::uint8_t gr(std::uint8_t index, int page) override;
    std::uint8_t sr(std::uint8_t index, int page) override;
    std::uint8_t cr(std::uint8_t index) override;
    std::uint8_t port(std::uint16_t port) override;
    std::uint16_t tv(std::uint16_t index) override;

    // Any register by its simulated-controller name; page kCurrentPage reads
    // a paged register in whatever page is current.
    std::uint16_t read(sim::Reg reg);
    // Writes a register; a paged one in its page, putting back the page.
    void write(sim::Reg reg, std::uint16_t value);
    // Writes only the bits set in mask; the others keep their value.
    void write_masked(sim::Reg reg, std::uint16_t value, std::uint16_t mask);
};

} // namespace kova::ctl
