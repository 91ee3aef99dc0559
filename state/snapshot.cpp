#include "snapshot.h"

#include "register_map.h"
#include "synclock.h"

#include <cstdint>
#include <iterator>
#include <span>

namespace kova::state {

namespace {

using Take = std::function<void(const registers::Setting &)>;

// The pages in which the library uses paged registers.
constexpr int kPagesFA[] = {reg::page::kCommon,     reg::page::kEngine1,  reg::page::kBackBufferCopy,
                            reg::page::kSyncStatus, reg::page::kTvOutput, reg::page::kOutputSwitch};
constexpr int kPagesBF[] = {reg::page_b::kCommon, reg::page_b::kVideoPort, reg::page_b::kCrtDac,
                            reg::page_b::kCrtSense};

std::uint8_t read_indexed(RegisterReader &reader, registers::Reg r) {
    const auto index = static_cast<std::uint8_t>(r.index);
    if (r.kind == registers::Reg::Kind::GR) return reader.gr(index, r.page);
    if (r.kind == registers::Reg::Kind::SR) return reader.sr(index, r.page);
    return reader.cr(index);
}

// Every index of GR, SR and CR; a paged one in each of its pages.
void read_indexed_files(RegisterReader &reader, const Take &take) {
    for (const auto kind : {registers::Reg::Kind::GR, registers::Reg::Kind::SR, registers::Reg::Kind::CR}) {
        for (int i = 0; i < 256; ++i) {
            const auto index = static_cast<std::uint16_t>(i);
            const registers::Pager pager = registers::pager_of(kind, static_cast<std::uint8_t>(i));
            if (pager == registers::Pager::None) {
                const registers::Reg r{kind, index};
                take({r, read_indexed(reader, r)});
                continue;
            }
            const std::span<const int> pages = pager == registers::Pager::GrFA
                                                   ? std::span<const int>(kPagesFA)
                                                   : std::span<const int>(kPagesBF);
            for (const int page : pages) {
                const registers::Reg r{kind, index, page};
                take({r, read_indexed(reader, r)});
            }
        }
    }
}

// The TV-encoder registers that the sync-lock images save and restore, then
// the map's TV registers and its readable single ports.
void read_tv_and_ports(RegisterReader &reader, const Take &take) {
    const auto tv = [&](std::uint32_t index) {
        const auto at = static_cast<std::uint16_t>(index);
        take({registers::Reg::tv(at), reader.tv(at)});
    };
    for (std::uint32_t i = 0; i < std::size(wTVReg16); ++i)
        tv(reg::kTvImage16First.index + 4 * i);
    for (std::uint32_t i = 0; i < std::size(dwTVReg32); ++i) {
        tv(reg::kTvImage32First.index + 4 * i);
        tv(reg::kTvImage32First.index + 4 * i + 2);
    }
    for (const reg::Register &r : reg::kRegisters) {
        if (r.file == reg::File::TV) tv(r.index);
        if (r.file == reg::File::Port &&
            (r.index == reg::kMiscOutputRead.index || r.index == reg::kDacMask.index))
            take({registers::Reg::port(r.index), reader.port(r.index)});
    }
}

} // namespace

void read_snapshot(RegisterReader &reader, const Take &take) {
    constexpr int kCurrent = registers::Reg::kCurrentPage;
    const std::uint8_t page_fa = reader.gr(reg::kPageSelect.at(), kCurrent);
    const std::uint8_t page_bf = reader.gr(reg::kPageSelectB.at(), kCurrent);
    read_indexed_files(reader, take);
    take({registers::Reg::gr(reg::kPageSelect.at()), page_fa});
    take({registers::Reg::gr(reg::kPageSelectB.at()), page_bf});
    read_tv_and_ports(reader, take);
}

} // namespace kova::state
