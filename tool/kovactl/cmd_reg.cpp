// reg get, reg set, reg dump: single registers by name, and register files as
// a 16 x 16 grid.
#include "capture.h"
#include "json.h"
#include "kovactl.h"
#include "misc.h"
#include "overlay.h"
#include "primitive_reader.h"
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
};

bool parse_hex_byte(std::string_view text, std::uint8_t &value) {
    std::uint32_t v = 0;
    if (text.size() != 2 || !parse_number("0x" + std::string(text), v)) return false;
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
    PrimitiveReader reader;
    return reader.read(name.reg);
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
    PrimitiveReader writer;
    masked ? writer.write_masked(name.reg, value, mask) : writer.write(name.reg, value);
}

std::string value_text(const RegName &name, std::uint32_t value) {
    return hex(value, name.wide() ? 4 : 2);
}

int reg_get(const Options &options, const Args &args) {
    RegName name;
    std::string reason;
    if (!parse_name(args.text[0], name, reason)) return usage_error("reg get: REG %s", reason.c_str());
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
        return usage_error("reg set: REG=HEX expected, not \"%.*s\"", static_cast<int>(text.size()),
                           text.data());
    if (!parse_name(text.substr(0, equals), name, reason))
        return usage_error("reg set: REG %s", reason.c_str());
    const std::uint32_t limit = name.wide() ? 0xFFFF : 0xFF;
    std::string_view digits = text.substr(equals + 1);
    if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
    std::uint32_t value = 0;
    if (digits.empty() || !parse_number("0x" + std::string(digits), value) || value > limit)
        return usage_error("reg set: HEX must be a hex value from 0 to %s, not \"%.*s\"", hex(limit).c_str(),
                           static_cast<int>(text.size() - equals - 1), text.data() + equals + 1);
    const std::uint32_t mask = args.given[1] ? args.value[1] : limit;
    if (mask > limit)
        return usage_error("reg set: MASK must be a number from 0 to %s, not \"%.*s\"", hex(limit).c_str(),
                           static_cast<int>(args.text[1].size()), args.text[1].data());

    write_register(name, static_cast<std::uint16_t>(value), static_cast<std::uint16_t>(mask));
    const std::uint16_t back = read_register(name);
    if ((back & mask) != (value & mask)) {
        error("%s: wrote %s (mask %s), reads back %s", name.name.c_str(), value_text(name, value).c_str(),
              value_text(name, mask).c_str(), value_text(name, back).c_str());
        return kExitFailure;
    }
    return kExitOk;
}

constexpr const char *kFiles = "GR|SR|CR|TV|CAP0|CAP1|OVL0|OVL1";
enum DumpFile { kGR, kSR, kCR, kTV, kCAP0, kCAP1, kOVL0, kOVL1 };

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one flat walk over the words; to be split up
int reg_dump(const Options &options, const Args &args) {
    const auto file = static_cast<DumpFile>(args.value[0]);
    const int page = args.given[1] ? static_cast<int>(args.value[1]) : sim::Reg::kCurrentPage;
    if (args.given[1] && file != kGR && file != kSR && file != kOVL0 && file != kOVL1)
        return usage_error("reg dump: --page applies to GR, SR, OVL0 and OVL1 only");

    PrimitiveReader reader;
    const bool wide = file == kTV;
    // TV: the rows that hold the sync-lock images, from E420 to E61F.
    const std::uint32_t first = wide ? reg::kTvImage16First.index & ~0xFu : 0;
    const std::uint32_t tv_end = (reg::kTvImage32First.index + 4 * std::size(dwTVReg32) + 15) & ~0xFu;
    const std::uint32_t count = wide ? (tv_end - first) / 2 : 256, step = wide ? 2 : 1;
    std::uint32_t values[256];
    for (std::uint32_t n = 0; n < count; ++n) {
        const auto index = static_cast<std::uint16_t>(first + n * step);
        const auto i8 = static_cast<std::uint8_t>(index);
        switch (file) {
        case kGR:
        case kOVL0:
            values[n] = reader.read(sim::Reg::gr(i8, page));
            break;
        case kSR:
        case kOVL1:
            values[n] = reader.read(sim::Reg::sr(i8, page));
            break;
        case kCR:
            values[n] = reader.read(sim::Reg::cr(i8));
            break;
        case kTV:
            values[n] = reader.read(sim::Reg::tv(index));
            break;
        case kCAP0:
        case kCAP1:
            Kova_SelectCaptureIndex(file == kCAP0 ? 0 : 1);
            values[n] = In_Capture_Reg(i8);
            break;
        }
    }
    const std::span<const std::uint32_t> all(values, count);
    if (options.json) {
        JsonObject j;
        j.add("file", args.text[0].empty() ? "GR" : args.text[0]).add("first", first).add("step", step);
        print_json(j.add("page", page).add("values", all));
        return kExitOk;
    }
    // i2cdump's layout: a column header, then one row per 16 bytes with its offset.
    const std::uint32_t per_row = wide ? 8 : 16;
    std::printf(wide ? "     " : "   ");
    for (std::uint32_t c = 0; c < per_row; ++c)
        std::printf(wide ? " %4x" : " %2x", c * step);
    std::printf("\n");
    for (std::uint32_t row = 0; row < count; row += per_row) {
        std::printf(wide ? "%04x: " : "%02x: ", first + row * step);
        for (std::uint32_t c = 0; c < per_row; ++c)
            std::printf(wide ? "%04x%s" : "%02x%s", values[row + c], c + 1 < per_row ? " " : "");
        std::printf("\n");
    }
    return kExitOk;
}

constexpr ArgSpec kGetArgs[] = {{"REG", ArgSpec::Kind::Text}};
constexpr ArgSpec kSetArgs[] = {{"REG=HEX", ArgSpec::Kind::Text},
                                {"MASK", ArgSpec::Kind::Number, 0, 0xFFFF, nullptr, true, 0, true}};
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
