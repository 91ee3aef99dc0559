// Register access by the names of the register map: reads, plain writes and
// masked writes of GR, SR and CR registers through the primitives of misc,
// and the two merges of a masked write.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "misc.h"
#include "register_map.h"
#include "vga_ports.h"

namespace kova::reg {

// The masked write of the register primitives: (value AND NOT keep) OR
// (old AND keep).
constexpr std::uint8_t merge_masked(std::uint8_t value, std::uint8_t old, std::uint8_t keep) {
    return static_cast<std::uint8_t>((value & ~keep) | (old & keep));
}

// The masked write of the capture and overlay register files: the value is
// ORed in unmasked, value OR (old AND keep).
constexpr std::uint8_t merge_or(std::uint8_t value, std::uint8_t old, std::uint8_t keep) {
    return static_cast<std::uint8_t>(value | (old & keep));
}

using vga::data_port;
using vga::index_port;

// An overlay register in one window's file: GR for window 0, SR for window 1.
constexpr Address in(File file, Address r) {
    r.file = file;
    return r;
}

// Index write, data read.
inline std::uint8_t read(Address r) {
    return ReadReg(index_port(r.file), r.at());
}

// Index write, data write.
inline void write(Address r, std::uint8_t value) {
    switch (r.file) {
    case File::GR:
        Out_Video_Reg(r.at(), value);
        break;
    case File::SR:
        Out_SEQ_Reg(r.at(), value);
        break;
    default:
        WriteReg(index_port(r.file), r.at(), value);
        break;
    }
}

// One masked write: index write, data read, data write.  Only a change of the
// register's own fields compiles.
template <typename L>
inline void update(const RegisterOf<L> &r, Change<L> change) {
    if (r.file == File::SR)
        Out_SEQ_Reg_M(r.at(), change.value, change.keep);
    else
        Out_Video_Reg_M(r.at(), change.value, change.keep);
}

// Part i of the composite value C, given as the value of its field: a part
// that is its whole register is written, any other one changed by a masked
// write.  C is a template argument so that its parts are constants here and
// no composite is stored in an object module.
template <const auto &C, std::size_t I>
inline void write_part(std::uint32_t part) {
    constexpr Part p = C.parts[I];
    if constexpr (p.whole()) {
        write(p.where, static_cast<std::uint8_t>(part));
    } else {
        const auto value = static_cast<std::uint8_t>(part << p.field.shift);
        constexpr auto keep = static_cast<std::uint8_t>(~p.field.mask());
        if constexpr (p.where.file == File::SR)
            Out_SEQ_Reg_M(p.where.at(), value, keep);
        else
            Out_Video_Reg_M(p.where.at(), value, keep);
    }
}

// The parts of the composite value C (its split()), with C's layout a
// constant of the caller.
template <const auto &C>
inline auto parts_of(std::uint32_t value) {
    constexpr auto composite = C;
    return composite.split(value);
}

// The composite value C, its parts in order from the low one.
template <const auto &C>
inline void write_parts(std::uint32_t value) {
    const auto parts = parts_of<C>(value);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (write_part<C, I>(parts[I]), ...);
    }
    (std::make_index_sequence<parts.size()>{});
}

// "Register = register OR bits" and "register = register AND NOT bits": a
// register read, then a plain write of the changed value, each with its own
// index write.
inline void set_bits(Address r, std::uint16_t bits) {
    write(r, static_cast<std::uint8_t>(read(r) | bits));
}
inline void clear_bits(Address r, std::uint16_t bits) {
    write(r, static_cast<std::uint8_t>(read(r) & ~bits));
}

// The video-port bits of GR BA and GR BB in page 0x01 of GR BF, four masked
// writes, then GR BF back to page 0x00: the first step of both the capture
// initialisation and the sync lock's video registers.
inline void set_video_port_paged_bits() {
    write(kPageSelectB, page_b::kVideoPort);
    update(kVideoPortBA, set(video_port_ba::kBit7, 1));
    update(kVideoPortBA, set(video_port_ba::kBit1, 0));
    update(kVideoPortBB, set(video_port_bb::kBit1, 1));
    update(kVideoPortBB, set(video_port_bb::kBit2, 1));
    write(kPageSelectB, page_b::kCommon);
}

} // namespace kova::reg
