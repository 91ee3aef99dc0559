#include "register_id.h"

#include <algorithm>
#include <array>

namespace kova::registers {

namespace {

// The paging of every index of GR and SR, as the register map declares it.
constexpr std::array<Pager, 256> kGrPagers = reg::pagers_of(File::GR);
constexpr std::array<Pager, 256> kSrPagers = reg::pagers_of(File::SR);

} // namespace

Pager pager_of(File file, std::uint8_t index) {
    if (file == File::GR) return kGrPagers[index];
    if (file == File::SR) return kSrPagers[index];
    return Pager::None;
}

bool paged(File file, std::uint16_t index) {
    return registers::pager_of(file, static_cast<std::uint8_t>(index)) != Pager::None;
}

std::vector<int> pages_in_use(Pager pager) {
    std::vector<int> pages{0};
    for (const reg::Register &r : reg::kRegisters)
        if (r.pager == pager && r.page != reg::kCurrentPage) pages.push_back(r.page);
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    return pages;
}

} // namespace kova::registers
