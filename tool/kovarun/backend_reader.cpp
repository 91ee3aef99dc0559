#include "backend_reader.h"

#include "decode.h"
#include "register_id.h"
#include "register_map.h"
#include "vga_ports.h"

namespace kova::run {

std::uint8_t BackendReader::read(reg::File file, std::uint8_t index) {
    backend_.port_out8(vga::index_port(file), index);
    return backend_.port_in8(vga::data_port(file));
}

void BackendReader::write(reg::File file, std::uint8_t index, std::uint8_t value) {
    backend_.port_out8(vga::index_port(file), index);
    backend_.port_out8(vga::data_port(file), value);
}

// The register at `index` of GR or SR in `page`: a paged register of
// another page than the current one is read with its page selected, and the
// page found is put back.
std::uint8_t BackendReader::read_in_page(reg::File file, std::uint8_t index, int page) {
    return registers::in_page(
        {file, index, page}, [this](std::uint8_t at) { return read(reg::File::GR, at); },
        [this](std::uint8_t at, std::uint8_t value) { write(reg::File::GR, at, value); },
        [&] { return read(file, index); });
}

std::uint8_t BackendReader::gr(std::uint8_t index, int page) {
    return read_in_page(reg::File::GR, index, page);
}

std::uint8_t BackendReader::sr(std::uint8_t index, int page) {
    return read_in_page(reg::File::SR, index, page);
}

std::uint8_t BackendReader::cr(std::uint8_t index) {
    return read(reg::File::CR, index);
}

std::uint8_t BackendReader::port(std::uint16_t port) {
    return backend_.port_in8(port);
}

std::uint16_t BackendReader::tv(std::uint16_t index) {
    return static_cast<std::uint16_t>(backend_.window_load(decode::kTvBase + index, 2));
}

} // namespace kova::run
