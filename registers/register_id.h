// One register of the controller as the programs and the simulator name it:
// an indexed GR/SR/CR register (a paged one in a page, or in "whatever page is
// current"), a single port, or a 16-bit TV register; and the paging of GR and
// SR as the register map declares it.
#pragma once

#include "register_map.h"

#include <cstdint>
#include <vector>

namespace kova::registers {

using File = reg::File;
using reg::Pager;

// Which register pages index `index` of GR or SR; None for every other file.
Pager pager_of(File file, std::uint8_t index);

// Whether index `index` of `file` is paged (GR and SR only).
bool paged(File file, std::uint16_t index);

// The pages in use of `pager`, in ascending order: the power-on page 00 and
// those in which the register map places registers paged by it.
std::vector<int> pages_in_use(Pager pager);

struct Reg {
    using Kind = reg::File; // GR, SR, CR, Port or TV
    static constexpr int kCurrentPage = reg::kCurrentPage;

    Kind kind;
    std::uint16_t index;
    int page = kCurrentPage;

    static Reg gr(std::uint8_t index, int page = kCurrentPage) { return {Kind::GR, index, page}; }
    static Reg sr(std::uint8_t index, int page = kCurrentPage) { return {Kind::SR, index, page}; }
    static Reg cr(std::uint8_t index) { return {Kind::CR, index, kCurrentPage}; }
    static Reg port(std::uint16_t port) { return {Kind::Port, port, kCurrentPage}; }
    static Reg tv(std::uint16_t index) { return {Kind::TV, index, kCurrentPage}; }
    // A GR, SR, CR, port or TV register of the map: a paged one in its own
    // page, or in "whatever page is current" where the map leaves it open.
    static Reg of(const reg::Register &r) { return {r.file, r.index, r.page}; }
};

// Runs `access` with the page of `reg` selected, then puts back the page
// found: read_gr(index) and write_gr(index, value) reach the GR page
// registers.  An unpaged register, a page of "whatever is current" and the
// page already selected run `access` alone.
template <typename ReadGr, typename WriteGr, typename Access>
auto in_page(Reg reg, ReadGr read_gr, WriteGr write_gr, Access access) {
    const Pager pager = registers::pager_of(reg.kind, static_cast<std::uint8_t>(reg.index));
    if (pager == Pager::None || reg.page == Reg::kCurrentPage) return access();
    const std::uint8_t select = pager == Pager::GrFA ? reg::kPageSelect.at() : reg::kPageSelectB.at();
    const std::uint8_t found = read_gr(select);
    const auto wanted = static_cast<std::uint8_t>(reg.page);
    if (found == wanted) return access();
    write_gr(select, wanted);
    const auto result = access();
    write_gr(select, found);
    return result;
}

} // namespace kova::registers
