// reg get, reg set, reg dump: single registers by name (the hex forms or the
// register map's names), and register files as a 16 x 16 grid or register by
// register with their fields.
#include "capture.h"
#include "json.h"
#include "kovactl.h"
#include "misc.h"
#include "number.h"
#include "overlay.h"
#include "register_access.h"
#include "register_map.h"
#include "register_text.h"
#include "synclock.h"

#include <algorithm>

namespace kova::ctl {

namespace {

// A register as kovactl names it: the simulated controller's names, plus
// CAPn:xx (index xx of capture engine n's file) and OVLn:xx (of overlay window
// n), or a register of the map by its name (CAPn:NAME, OVLn:NAME for those of
// an engine's or a window's file).  A named register may span several byte
// registers, low byte first.
struct RegName {
    enum class Kind : std::uint8_t { Plain, Capture, Overlay } kind = Kind::Plain;
    int unit = 0;
    std::uint8_t index = 0;
    registers::Reg reg{};
    std::string name;
    std::uint8_t span = 1;

    bool wide() const { return kind == Kind::Plain && reg.kind == registers::Reg::Kind::TV; }
    std::uint32_t limit() const { return kind == Kind::Plain ? registers::value_limit(reg) : 0xFF; }
    int digits() const { return wide() ? 4 : 2 * span; }
};

// A register's name as a user types it: the map's name in capitals, its words
// joined by '_' ("SYNC_STATUS").  Case and the joining character (' ', '-',
// '_') do not matter when it is read back.
constexpr char name_character(char c) {
    if (c == ' ' || c == '-') return '_';
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string user_name(const reg::Register &r) {
    std::string name = r.name;
    std::ranges::transform(name, name.begin(), name_character);
    return name;
}

bool same_name(std::string_view typed, std::string_view name) {
    return typed.size() == name.size() && std::ranges::equal(typed, name, {}, name_character, name_character);
}

// No two registers of the map share a name as a user types it (compared
// character by character: cheap enough for the compilers' step limits).
constexpr bool same_map_name(const char *a, const char *b) {
    while (*a != '\0' && name_character(*a) == name_character(*b)) {
        ++a;
        ++b;
    }
    return *a == '\0' && *b == '\0';
}

consteval bool names_distinct() {
    for (std::size_t a = 0; a < reg::kRegisters.size(); ++a)
        for (std::size_t b = a + 1; b < reg::kRegisters.size(); ++b)
            if (same_map_name(reg::kRegisters[a].name, reg::kRegisters[b].name)) return false;
    return true;
}
static_assert(names_distinct(), "two registers of the map have the same name");

// The map's register named `text`, or nullptr.
const reg::Register *find_by_name(std::string_view text) {
    const auto *it = std::ranges::find_if(reg::kRegisters,
                                          [text](const reg::Register &r) { return same_name(text, r.name); });
    return it == reg::kRegisters.end() ? nullptr : it;
}

bool engine_file(reg::File file) {
    return file == reg::File::CAP || file == reg::File::OVL;
}

// "SYNC_STATUS", or "CAP0:CAPTURE_ADDRESS" after its engine's prefix.
bool parse_map_name(std::string_view text, RegName &name, std::string &reason) {
    const bool engine = name.kind != RegName::Kind::Plain;
    const reg::Register *r = find_by_name(engine ? text.substr(5) : text);
    if (!r) return false;
    const reg::File want = name.kind == RegName::Kind::Capture ? reg::File::CAP : reg::File::OVL;
    if (engine && r->file != want) {
        reason = "\"" + std::string(text) + "\": " + user_name(*r) + " is not a register of " +
                 std::string(text.substr(0, 3)) + "n";
        return true;
    }
    if (!engine && engine_file(r->file)) {
        const char *prefix = r->file == reg::File::CAP ? "CAP" : "OVL";
        reason = "\"" + std::string(text) + "\": name its " +
                 (r->file == reg::File::CAP ? "capture engine" : "overlay window") + ", as in " + prefix +
                 "0:" + user_name(*r);
        return true;
    }
    name.index = static_cast<std::uint8_t>(r->index);
    name.reg = registers::Reg::of(*r);
    name.span = r->file == reg::File::TV ? 1 : r->span;
    reason.clear();
    return true;
}

bool parse_hex_byte(std::string_view text, std::uint8_t &value) {
    std::uint32_t v = 0;
    if (text.size() != 2 || !registers::parse_register_value(text, 0xFF, v)) return false;
    value = static_cast<std::uint8_t>(v);
    return true;
}

// CAPn:xx and OVLn:xx, also with a name for xx.
bool parse_engine_name(std::string_view text, RegName &name, std::string &reason) {
    const std::string_view prefix = text.substr(0, 3);
    const bool unit_given = text.size() > 5 && (text[3] == '0' || text[3] == '1') && text[4] == ':';
    name.kind = prefix == "CAP" ? RegName::Kind::Capture : RegName::Kind::Overlay;
    name.unit = unit_given ? text[3] - '0' : 0;
    if (unit_given && text.size() == 7 && parse_hex_byte(text.substr(5), name.index)) return true;
    reason = "\"" + std::string(text) + "\": use " + std::string(prefix) + "0:xx or " + std::string(prefix) +
             "1:xx";
    return unit_given && parse_map_name(text, name, reason) && reason.empty();
}

bool parse_name(std::string_view text, RegName &name, std::string &reason) {
    name.name = text;
    if (text.starts_with("CAP") || text.starts_with("OVL")) return parse_engine_name(text, name, reason);
    if (registers::parse_register(text, name.reg, reason)) return true;
    std::string named_reason;
    if (!parse_map_name(text, name, named_reason)) return false; // the reason of the hex forms
    if (named_reason.empty()) return true;
    reason = named_reason;
    return false;
}

std::uint16_t read_byte_register(const RegName &name) {
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

// The register's value; one that spans several byte registers joined, low byte first.
std::uint32_t read_register(const RegName &name) {
    std::uint32_t value = 0;
    for (unsigned n = 0; n < name.span; ++n) {
        RegName byte = name;
        byte.index = static_cast<std::uint8_t>(name.index + n);
        byte.reg.index = static_cast<std::uint16_t>(name.reg.index + n);
        value |= static_cast<std::uint32_t>(read_byte_register(byte)) << (8 * n);
    }
    return value;
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
    return hex(value, name.digits());
}

int reg_get(const Options &options, const Args &args) {
    RegName name;
    std::string reason;
    if (!parse_name(args.text[0], name, reason)) return error(kExitUsage, "reg get: REG %s", reason.c_str());
    const std::uint32_t value = read_register(name);
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
    if (name.span > 1)
        return error(kExitUsage, "reg set: %s spans %u registers; set them one by one", name.name.c_str(),
                     static_cast<unsigned>(name.span));
    const std::uint32_t limit = name.limit();
    const std::string_view digits = text.substr(equals + 1);
    std::uint32_t value = 0;
    if (!registers::parse_register_value(digits, limit, value))
        return error(kExitUsage, "reg set: HEX must be %s, not \"%.*s\"",
                     registers::register_value_range(limit).c_str(), static_cast<int>(digits.size()),
                     digits.data());
    std::uint32_t mask = limit;
    if (args.given[1] && !tool::parse_number_in(args.text[1], 0, limit, mask))
        return error(kExitUsage, "reg set: MASK must be %s, not \"%.*s\"",
                     tool::number_range(0, limit, true).c_str(), static_cast<int>(args.text[1].size()),
                     args.text[1].data());

    write_register(name, static_cast<std::uint16_t>(value), static_cast<std::uint16_t>(mask));
    const std::uint32_t back = read_register(name);
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
        return regs::read(registers::Reg::gr(i8, page));
    case kSR:
    case kOVL1:
        return regs::read(registers::Reg::sr(i8, page));
    case kCR:
        return regs::read(registers::Reg::cr(i8));
    case kTV:
        return regs::read(registers::Reg::tv(index));
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

// The map's file of a dump file, and its engine or window.
reg::File map_file(DumpFile file) {
    constexpr reg::File kMapFiles[] = {reg::File::GR,  reg::File::SR,  reg::File::CR,  reg::File::TV,
                                       reg::File::CAP, reg::File::CAP, reg::File::OVL, reg::File::OVL};
    return kMapFiles[file];
}

// A register of the map as kovactl names it: "GR43@01", "CAP1:EB".
RegName name_of(const reg::Register &r, DumpFile file, int page) {
    RegName name;
    name.index = static_cast<std::uint8_t>(r.index);
    name.reg = registers::Reg::of(r);
    if (r.pager != reg::Pager::None && r.page == reg::kCurrentPage) name.reg.page = page;
    name.span = r.file == reg::File::TV ? 1 : r.span;
    name.unit = file == kCAP1 || file == kOVL1 ? 1 : 0;
    if (r.file == reg::File::CAP || r.file == reg::File::OVL) {
        name.kind = r.file == reg::File::CAP ? RegName::Kind::Capture : RegName::Kind::Overlay;
        name.name = std::string(r.file == reg::File::CAP ? "CAP" : "OVL") + std::to_string(name.unit) + ":" +
                    hex(r.index, 2).substr(2);
    } else {
        name.name = registers::register_name(name.reg);
    }
    return name;
}

// reg dump --fields: each register of the map in the file (in page `page` if
// one is given), its value, and its fields by meaning.
int print_fields(DumpFile file, int page) {
    for (const reg::Register &r : reg::kRegisters) {
        if (r.file != map_file(file)) continue;
        if (page != registers::Reg::kCurrentPage && r.page != reg::kCurrentPage && r.page != page) continue;
        const RegName name = name_of(r, file, page);
        const std::uint32_t value = read_register(name);
        std::printf("%-10s %-32s %s\n", name.name.c_str(), user_name(r).c_str(),
                    value_text(name, value).c_str());
        for (std::size_t i = 0; i < r.field_count(); ++i) {
            const reg::Field &f = r.fields[i];
            const std::string bits = f.width == 1 ? "bit " + std::to_string(f.shift)
                                                  : "bits " + std::to_string(f.shift + f.width - 1) + "-" +
                                                        std::to_string(f.shift);
            std::printf("    %-10s %-8s %s\n", bits.c_str(), hex(f.extract(value)).c_str(), f.meaning);
        }
    }
    return kExitOk;
}

int reg_dump(const Options &options, const Args &args) {
    const auto file = static_cast<DumpFile>(args.value[0]);
    const int page = args.given[1] ? static_cast<int>(args.value[1]) : registers::Reg::kCurrentPage;
    if (args.given[1] && file != kGR && file != kSR && file != kOVL0 && file != kOVL1)
        return error(kExitUsage, "reg dump: --page applies to GR, SR, OVL0 and OVL1 only");
    if (args.given[2] && options.json)
        return error(kExitUsage, "reg dump: --fields prints text only, not --json");
    if (args.given[2]) return print_fields(file, page);

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
                                 {"--page", ArgSpec::Kind::Option, 0, 0xFF, nullptr, false, 0, true},
                                 {"--fields", ArgSpec::Kind::Flag}};

constexpr Command kCommands[] = {
    {.name = "reg",
     .word = "get",
     .args = kGetArgs,
     .handler = reg_get,
     .help =
         "read a register: GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp, TVxxxx, Pxxxx, CAPn:xx, OVLn:xx or its name "
         "(kovactl help registers)"},
    {.name = "reg",
     .word = "set",
     .args = kSetArgs,
     .writes = true,
     .handler = reg_set,
     .help = "write a register (only the bits set in MASK) and read it back"},
    {.name = "reg",
     .word = "dump",
     .args = kDumpArgs,
     .handler = reg_dump,
     .help =
         "a register file as a grid (paged registers in page --page), or register by register with --fields"},
};

} // namespace

std::span<const Command> register_commands() {
    return kCommands;
}

} // namespace kova::ctl

namespace kova::ctl {

void print_register_names() {
    for (const std::string &name : registers::indexed_register_names())
        std::printf("%s\n", name.c_str());
    for (const reg::Register &r : reg::kRegisters)
        if (engine_file(r.file))
            for (const char *unit : {"0:", "1:"})
                std::printf("%s%s%s\n", r.file == reg::File::CAP ? "CAP" : "OVL", unit, user_name(r).c_str());
        else
            std::printf("%s\n", user_name(r).c_str());
}

} // namespace kova::ctl
