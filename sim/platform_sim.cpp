// Simulated flavour of the platform layer: every call goes to the simulated
// controller.
#include "../lib/platform.h"

#include "controller.h"

#include <cstdio>
#include <cstdlib>

namespace kova::platform {

namespace {

std::uint32_t window_offset(const std::uint8_t *addr) {
    const std::uint8_t *base = sim::controller().window_base();
    if (addr < base || addr >= base + sim::Controller::kWindowSize) {
        std::fprintf(stderr,
                     "simulated controller: register access at %p, outside the mapped register window\n",
                     static_cast<const void *>(addr));
        std::abort();
    }
    return static_cast<std::uint32_t>(addr - base);
}

} // namespace

void store8(std::uint8_t *addr, std::uint8_t value) {
    sim::controller().window_store(window_offset(addr), value, 1);
}
void store16(std::uint8_t *addr, std::uint16_t value) {
    sim::controller().window_store(window_offset(addr), value, 2);
}
void store32(std::uint8_t *addr, std::uint32_t value) {
    sim::controller().window_store(window_offset(addr), value, 4);
}
std::uint8_t load8(const std::uint8_t *addr) {
    return static_cast<std::uint8_t>(sim::controller().window_load(window_offset(addr), 1));
}
std::uint16_t load16(const std::uint8_t *addr) {
    return static_cast<std::uint16_t>(sim::controller().window_load(window_offset(addr), 2));
}
std::uint32_t load32(const std::uint8_t *addr) {
    return sim::controller().window_load(window_offset(addr), 4);
}

int request_io_privilege() {
    return sim::controller().iopl(3);
}
void port_out8(std::uint16_t port, std::uint8_t value) {
    sim::controller().port_out8(port, value);
}
std::uint8_t port_in8(std::uint16_t port) {
    return sim::controller().port_in8(port);
}

int mem_open() {
    return sim::controller().open_mem();
}
void *mem_map(int fd, std::uint32_t physical, std::uint32_t length) {
    return sim::controller().map(fd, physical, length);
}
void mem_close(int fd) {
    sim::controller().close_mem(fd);
}

} // namespace kova::platform
