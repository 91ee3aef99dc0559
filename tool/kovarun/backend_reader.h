// The controller's registers read through a tracer's back end: the index and
// data ports and the page registers by port I/O one byte at a time, the TV
// registers by 16-bit loads in the register window.  The accesses are the
// ones the library's reads make: the index, then the data; a register of
// another page with its page selected for the read and the page found put
// back.
#pragma once

#include "backend.h"
#include "controller_state.h"
#include "register_map.h"

#include <cstdint>

namespace kova::run {

class BackendReader final : public state::RegisterReader {
  public:
    explicit BackendReader(Backend &backend) : backend_(backend) {}

    using state::RegisterReader::gr;
    using state::RegisterReader::sr;
    std::uint8_t gr(std::uint8_t index, int page) override;
    std::uint8_t sr(std::uint8_t index, int page) override;
    std::uint8_t cr(std::uint8_t index) override;
    std::uint8_t port(std::uint16_t port) override;
    std::uint16_t tv(std::uint16_t index) override;

  private:
    std::uint8_t read(reg::File file, std::uint8_t index);
    void write(reg::File file, std::uint8_t index, std::uint8_t value);
    std::uint8_t read_in_page(reg::File file, std::uint8_t index, int page);

    Backend &backend_;
};

} // namespace kova::run
