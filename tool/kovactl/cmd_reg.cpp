// reg get, reg set, reg dump: single registers by name, and register files as
// a 16 x 16 grid.
#include "capture.h"
#include "json.h"
#include "kovactl.h"
#include "misc.h"
#include "number.h"
#include "overlay.h"
#include "register_access.h"
#include "register_map.h"
#include "register_names.h"
#include "synclock.h"

namespace kova::ctl {

namespace {

// A register as kovactl names it: the simulated controller's names, plus
// CAPn:xx (index xx of capture engine n's file) and OVLn:xx (of overlay window n).
struct RegName {
    enum class Kind : std::uint8_t { Plain, Capture, Overlay } kind = Kind::Plain;
    int unit = 0;
    std::uint8_t index = 0;
    sim::Reg reg{};
    std::string name;

    bool wide() const { return kind == Kind::Plain && reg.kind == sim::Reg::Kind::TV; }
    std::uint32_t limit() const { return kind == Kind::Plain ? sim::value_limit(reg) : 0xFF; }
};

bool parse_hex_byte(std::string_view text, std::uint8_t &value) {
    std::uint32_t v = 0;
    if (text.size() != 2 || !sim::parse_register_value(text, 0xFF, v)) return false;
    value = static_cast<std::uint8_t>(v);
    return true;
}

bool parse_name(std::string_view text, RegName &name, std::string &reason) {
    name.name = text;
    for (const auto &[prefix, kind] :
         {std::pair{"CAP", RegName::Kind::Capture}, {"OVL", RegName::Kind::Overlay}}) {
        if (!text.starts_with(prefix)) continue;
        if (text.size() != 7 || (text[3] != '0' && text[3] != '1') || text[4] != ':' ||
            !parse_hex_byte(text.substr(5), name.index)) {
            reason = "\"" + std::string(text) + "\": use " + prefix + "0:xx or " + prefix + "1:xx";
            return false;
        }
        name.kind = kind;
        name.unit = text[3] - '0';
        return true;
    }
    return sim::parse_register(text, name.reg, reason);
}

std::uint16_t read_register(const RegName &name) {
    switch (name.kind) {
    case RegName::Kind::Capture:
        Kova_SelectCaptureIndex(static_cast<unsigned short>(name.unit));
        return static_cast<std::uint16_t>(In_Capture_Reg(name.index));
    case RegName::Kind::Overlay:
        return ReadReg(name.unit == 0 ? reg::kGrIndex.index : reg::kSrIndex.index, name.index);
    case RegName::Kind::Plain:
        break;
    }
    return regs::read(name.reg);
}

void write_register(const RegName &name, std::uint16_t value, std::uint16_t mask) {
    const bool masked = mask != (name.wide() ? 0xFFFF : 0xFF);
    const auto byte = static_cast<std::uint8_t>(value & mask);
    const auto keep = static_cast<std::uint8_t>(~mask);
    switch (name.kind) {
    case RegName::Kind::Capture:
        Kova_SelectCaptureIndex(static_cast<unsigned short>(name.unit));
        masked ? Out_Capture_Reg_M(name.index, byte, keep) : Out_Capture_Reg(name.index, byte);
        return;
    case RegName::Kind::Overlay:
        Kova_SelectOverlayIndex(static_cast<unsigned short>(name.unit));
        masked ? Out_Overlay_Reg_M(name.index, byte, keep) : Out_Overlay_Reg(name.index, byte);
        return;
    case RegName::Kind::Plain:
        break;
    }
    masked ? regs::write_masked(name.reg, value, mask) : regs::write(name.reg, value);
}

std::string value_text(const RegName &name, std::uint32_t value) {
    return hex(value, name.wide() ? 4 : 2);
}

int reg_get(const Options &options, const Args &args) {
    RegName name;
    std::string reason;
    if (!parse_name(args.text[0], name, reason)) return error(kExitUsage, "reg get: REG %s", reason.c_str());
    const std::uint16_t value = read_register(name);
    if (options.json)
        print_json(JsonObject().add("register", name.name).add("value", value));
    else
        std::printf("%s\n", value_text(name, value).c_str());
    return kExitOk;
}

int reg_set(const Options &, const Args &args) {
    const std::string_view text = args.text[0];
    const auto equals = text.find('=');
    RegName name;
    std::string reason;
    if (equals == std::string_view::npos)
        return error(kExitUsage, "reg set: REG=HEX expected, not \"%.*s\"", static_cast<int>(text.size()),
                     text.data());
    if (!parse_name(text.substr(0, equals), name, reason))
        return error(kExitUsage, "reg set: REG %s", reason.c_str());
    const std::uint32_t limit = name.limit();
    const std::string_view digits = text.substr(equals + 1);
    std::uint32_t value = 0;
    if (!sim::parse_register_value(digits, limit, value))
        return error(kExitUsage, "reg set: HEX must be %s, not \"%.*s\"",
                     sim::register_value_range(limit).c_str(), static_cast<int>(digits.size()),
                     digits.data());
    std::uint32_t mask = limit;
    if (args.given[1] && !tool::parse_number_in(args.text[1], 0, limit, mask))
        return error(kExitUsage, "reg set: MASK must be %s, not \"%.*s\"",
                     tool::number_range(0, limit, true).c_str(), static_cast<int>(args.text[1].size()),
                     args.text[1].data());

    write_register(name, static_cast<std::uint16_t>(value), static_cast<std::uint16_t>(mask));
    const std::uint16_t back = read_register(name);
    if ((back & mask) != (value & mask)) {
        error(kExitFailure, "%s: wrote %s (mask %s), reads back %s", name.name.c_str(),
              value_text(name, value).c_str(), value_text(name, mask).c_str(),
              value_text(name, back).c_str());
        return kExitFailure;
    }
    return kExitOk;
}

constexpr const char *kFiles = "GR|SR|CR|TV|CAP0|CAP1|OVL0|OVL1";
enum DumpFile { kGR, kSR, kCR, kTV, kCAP0, kCAP1, kOVL0, kOVL1 };

// The registers of a dump: `count` of them from index `first` on, `step` apart.
struct DumpRange {
    std::uint32_t first, count, step;
};

DumpRange dump_range(DumpFile file) {
    if (file != kTV) return {0, 256, 1};
    // TV: the rows that hold the sync-lock images, from E420 to E61F.
    const std::uint32_t first = reg::kTvImage16First.index & ~0xFu;
    const std::uint32_t end = (reg::kTvImage32First.index + 4 * std::size(dwTVReg32) + 15) & ~0xFu;
    return {first, (end - first) / 2, 2};
}

std::uint32_t dump_read(DumpFile file, std::uint16_t index, int page) {
    const auto i8 = static_cast<std::uint8_t>(index);
    switch (file) {
    case kGR:
    case kOVL0:
        return regs::read(sim::Reg::gr(i8, page));
    case kSR:
    case kOVL1:
        return regs::read(sim::Reg::sr(i8, page));
    case kCR:
        return regs::read(sim::Reg::cr(i8));
    case kTV:
        return regs::read(sim::Reg::tv(index));
    case kCAP0:
    case kCAP1:
        Kova_SelectCaptureIndex(file == kCAP0 ? 0 : 1);
        return In_Capture_Reg(i8);
    }
    return 0;
}

// A column header, then one row per 16 bytes (8 TV registers) with its offset.
void print_grid(std::span<const std::uint32_t> values, DumpRange range, bool wide) {
    const std::uint32_t per_row = wide ? 8 : 16;
    std::printf(wide ? "     " : "   ");
    for (std::uint32_t c = 0; c < per_row; ++c)
        std::printf(wide ? " %4x" : " %2x", c * range.step);
    std::printf("\n");
    for (std::uint32_t row = 0; row < range.count; row += per_row) {
        std::printf(wide ? "%04x: " : "%02x: ", range.first + row * range.step);
        for (std::uint32_t c = 0; c < per_row; ++c)
            std::printf(wide ? "%04x%s" : "%02x%s", values[row + c], c + 1 < per_row ? " " : "");
        std::printf("\n");
    }
}

int reg_dump(const Options &options, const Args &args) {
    const auto file = static_cast<DumpFile>(args.value[0]);
    const int page = args.given[1] ? static_cast<int>(args.value[1]) : sim::Reg::kCurrentPage;
    if (args.given[1] && file != kGR && file != kSR && file != kOVL0 && file != kOVL1)
        return error(kExitUsage, "reg dump: --page applies to GR, SR, OVL0 and OVL1 only");

    const DumpRange range = dump_range(file);
    std::uint32_t values[256];
    for (std::uint32_t n = 0; n < range.count; ++n)
        values[n] = dump_read(file, static_cast<std::uint16_t>(range.first + n * range.step), page);
    const std::span<const std::uint32_t> all(values, range.count);
    if (options.json) {
        JsonObject j;
        j.add("file", args.text[0].empty() ? "GR" : args.text[0])
            .add("first", range.first)
            .add("step", range.step);
        print_json(j.add("page", page).add("values", all));
        return kExitOk;
    }
    print_grid(all, range, file == kTV);
    return kExitOk;
}

constexpr ArgSpec kGetArgs[] = {{"REG", ArgSpec::Kind::Text}};
constexpr ArgSpec kSetArgs[] = {{"REG=HEX", ArgSpec::Kind::Text},
                                {"MASK", ArgSpec::Kind::Text, 0, 0xFFFF, nullptr, true, 0, true}};
constexpr ArgSpec kDumpArgs[] = {{"FILE", ArgSpec::Kind::Choice, 0, 0, kFiles, true},
                                 {"--page", ArgSpec::Kind::Option, 0, 0xFF, nullptr, false, 0, true}};

constexpr Command kCommands[] = {
    {"reg", false, "get", kGetArgs, false, reg_get,
     "read a register: GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp, TVxxxx, Pxxxx, CAPn:xx, OVLn:xx"},
    {"reg", false, "set", kSetArgs, true, reg_set,
     "write a register (only the bits set in MASK) and read it back"},
    {"reg", false, "dump", kDumpArgs, false, reg_dump,
     "a register file as a grid (paged registers in page --page)"},
};

} // namespace

std::span<const Command> register_commands() {
    return kCommands;
}

} // namespace kova::ctl
