#include "register_access.h"

#include "misc.h"
#include "portmem.h"
#include "register_map.h"
#include "vga_ports.h"

namespace kova::ctl::regs {

namespace {

using vga::index_port;
constexpr std::uint16_t kGrPort = reg::kGrIndex.index;

// Runs `access` with the register's page selected through the library's
// primitives, then puts back the page.
template <typename Access>
auto in_page(registers::Reg reg, Access access) {
    return registers::in_page(
        reg, [](std::uint8_t index) { return ReadReg(kGrPort, index); },
        [](std::uint8_t index, std::uint8_t value) { WriteReg(kGrPort, index, value); }, access);
}

} // namespace

std::uint16_t read(registers::Reg reg) {
    switch (reg.kind) {
    case registers::Reg::Kind::Port:
        return kovainp(reg.index);
    case registers::Reg::Kind::TV:
        return ReadTVReg(reg.index);
    default:
        return in_page(reg,
                       [&] { return ReadReg(index_port(reg.kind), static_cast<std::uint8_t>(reg.index)); });
    }
}

void write(registers::Reg reg, std::uint16_t value) {
    switch (reg.kind) {
    case registers::Reg::Kind::Port:
        kovaoutp(reg.index, static_cast<std::uint8_t>(value));
        return;
    case registers::Reg::Kind::TV:
        WriteTVReg(reg.index, value);
        return;
    default:
        in_page(reg, [&] {
            WriteReg(index_port(reg.kind), static_cast<std::uint8_t>(reg.index),
                     static_cast<std::uint8_t>(value));
            return 0;
        });
    }
}

void write_masked(registers::Reg reg, std::uint16_t value, std::uint16_t mask) {
    const auto merged = [&](std::uint16_t old) {
        return static_cast<std::uint16_t>((value & mask) | (old & ~mask));
    };
    switch (reg.kind) {
    case registers::Reg::Kind::Port:
        kovaoutp(reg.index, static_cast<std::uint8_t>(merged(kovainp(reg.index))));
        return;
    case registers::Reg::Kind::TV:
        WriteTVReg(reg.index, merged(ReadTVReg(reg.index)));
        return;
    default:
        in_page(reg, [&] {
            WriteRegM(index_port(reg.kind), static_cast<std::uint8_t>(reg.index),
                      static_cast<std::uint8_t>(value & mask), static_cast<std::uint8_t>(~mask));
            return 0;
        });
    }
}

std::uint8_t Reader::gr(std::uint8_t index, int page) {
    return static_cast<std::uint8_t>(read(registers::Reg::gr(index, page)));
}
std::uint8_t Reader::sr(std::uint8_t index, int page) {
    return static_cast<std::uint8_t>(read(registers::Reg::sr(index, page)));
}
std::uint8_t Reader::cr(std::uint8_t index) {
    return static_cast<std::uint8_t>(read(registers::Reg::cr(index)));
}
std::uint8_t Reader::port(std::uint16_t port) {
    return static_cast<std::uint8_t>(read(registers::Reg::port(port)));
}
std::uint16_t Reader::tv(std::uint16_t index) {
    return read(registers::Reg::tv(index));
}

} // namespace kova::ctl::regs
