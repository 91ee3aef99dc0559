#include "register_dump.h"

#include <algorithm>

namespace kova::sim {

using registers::Reg;

void apply(Controller &sim, const registers::Setting &setting) {
    if (setting.reg.kind == Reg::Kind::TV)
        sim.set_tv(setting.reg.index, setting.value);
    else
        sim.set(setting.reg, static_cast<std::uint8_t>(setting.value));
}

std::string dump(const Controller &sim) {
    // A register is listed when it is not 0, or when it is not 0 at power-on
    // (so that a 0 written over a power-on value is kept).
    const auto power_on_nonzero = [](Reg reg) {
        return std::ranges::any_of(Controller::kPowerOnState, [reg](const auto &power_on) {
            const Reg &r = power_on.first;
            return r.kind == reg.kind && r.index == reg.index &&
                   (r.page == reg.page || !registers::paged(reg.kind, reg.index));
        });
    };
    std::string out;
    const auto line = [&](Reg reg, std::uint32_t value) {
        if (value != 0 || power_on_nonzero(reg)) out += registers::setting_line(reg, value) + "\n";
    };

    for (const Reg::Kind kind : {Reg::Kind::GR, Reg::Kind::SR, Reg::Kind::CR}) {
        for (int index = 0; index < 256; ++index) {
            const auto i = static_cast<std::uint16_t>(index);
            if (registers::paged(kind, i)) {
                for (int page = 0; page < 256; ++page)
                    line(Reg{kind, i, page}, sim.get(Reg{kind, i, page}));
            } else {
                line(Reg{kind, i, Reg::kCurrentPage}, sim.get(Reg{kind, i, Reg::kCurrentPage}));
            }
        }
    }
    for (std::uint32_t index = 0; index < Controller::kTvSize; index += 2)
        line(Reg::tv(static_cast<std::uint16_t>(index)), sim.get_tv(static_cast<std::uint16_t>(index)));
    for (std::uint32_t port = 0; port < decode::kPortSpan; ++port)
        if (!registers::is_data_port(port))
            line(Reg::port(static_cast<std::uint16_t>(port)),
                 sim.get(Reg::port(static_cast<std::uint16_t>(port))));
    return out;
}

} // namespace kova::sim
