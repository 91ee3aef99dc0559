#include "register_text.h"

#include <algorithm>
#include <cstdio>

namespace kova::registers {

namespace {

// Exactly `digits` hex digits, no sign, no prefix.
bool parse_hex(std::string_view text, std::size_t digits, std::uint32_t &value) {
    if (text.size() != digits) return false;
    value = 0;
    for (const char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    return true;
}

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// The text in double quotes for a message, bytes outside printable ASCII as
// \xHH: a newline or a terminal escape in an argument stays visible and keeps
// the message on one line.
std::string quote(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            quoted += c;
        else
            quoted += "\\x" + hex(byte, 2);
    }
    return quoted + "\"";
}

} // namespace

bool parse_register(std::string_view name, Reg &reg, std::string &error) {
    const std::string quoted = quote(name);
    std::uint32_t index = 0, page = 0;
    const auto at = name.find('@');
    const std::string_view base = name.substr(0, at);
    const bool has_page = at != std::string_view::npos;

    if (base.size() == 4 &&
        (base.substr(0, 2) == "GR" || base.substr(0, 2) == "SR" || base.substr(0, 2) == "CR") &&
        parse_hex(base.substr(2), 2, index)) {
        const Reg::Kind kind = base[0] == 'G'   ? Reg::Kind::GR
                               : base[0] == 'S' ? Reg::Kind::SR
                                                : Reg::Kind::CR;
        const bool is_paged = paged(kind, static_cast<std::uint16_t>(index));
        if (has_page && !parse_hex(name.substr(at + 1), 2, page)) {
            error = quoted + ": a page is two hex digits, as in GRE5@80";
            return false;
        }
        if (is_paged && !has_page) {
            error = quoted + ": " + std::string(base) + " is paged; name its page, as in " +
                    std::string(base) + "@00";
            return false;
        }
        if (!is_paged && has_page) {
            error = quoted + ": " + std::string(base) + " is not paged; drop the @page";
            return false;
        }
        reg = Reg{kind, static_cast<std::uint16_t>(index),
                  is_paged ? static_cast<int>(page) : Reg::kCurrentPage};
    } else if (!has_page && base.size() == 6 && base.substr(0, 2) == "TV" &&
               parse_hex(base.substr(2), 4, index)) {
        reg = Reg::tv(static_cast<std::uint16_t>(index));
    } else if (!has_page && base.size() == 5 && base[0] == 'P' && parse_hex(base.substr(1), 4, index)) {
        if (is_data_port(index)) {
            error =
                quoted + ": port " + hex(index, 4) + " is a data port; name the register (GRxx, SRxx, CRxx)";
            return false;
        }
        reg = Reg::port(static_cast<std::uint16_t>(index));
    } else {
        error = quoted + ": unknown register; use GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp, TVxxxx or Pxxxx";
        return false;
    }
    return true;
}

std::uint32_t value_limit(Reg reg) {
    return reg.kind == Reg::Kind::TV ? 0xFFFF : 0xFF;
}

bool parse_register_value(std::string_view text, std::uint32_t limit, std::uint32_t &value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    std::uint32_t v = 0;
    if (text.empty() || text.size() > 8 || !parse_hex(text, text.size(), v) || v > limit) return false;
    value = v;
    return true;
}

std::string register_value_range(std::uint32_t limit) {
    return "a hex value from 0 to 0x" + hex(limit, 0);
}

bool parse_setting(std::string_view text, Setting &setting, std::string &error) {
    const std::string quoted = quote(text);
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        error = quoted + ": expected NAME=HEX";
        return false;
    }
    Reg reg{};
    if (!parse_register(text.substr(0, equals), reg, error)) {
        error = quoted + error.substr(quote(text.substr(0, equals)).size()); // the whole setting in quotes
        return false;
    }
    const std::uint32_t limit = value_limit(reg);
    std::uint32_t value = 0;
    if (!parse_register_value(text.substr(equals + 1), limit, value)) {
        error = quoted + ": the value must be " + register_value_range(limit);
        return false;
    }
    setting = Setting{reg, static_cast<std::uint16_t>(value)};
    return true;
}

std::string register_name(Reg reg) {
    switch (reg.kind) {
    case Reg::Kind::GR:
    case Reg::Kind::SR:
    case Reg::Kind::CR: {
        std::string name = reg.kind == Reg::Kind::GR ? "GR" : reg.kind == Reg::Kind::SR ? "SR" : "CR";
        name += hex(reg.index, 2);
        if (paged(reg.kind, reg.index) && reg.page != Reg::kCurrentPage)
            name += "@" + hex(static_cast<unsigned>(reg.page), 2);
        return name;
    }
    case Reg::Kind::TV:
        return "TV" + hex(reg.index, 4);
    case Reg::Kind::Port:
        return "P" + hex(reg.index, 4);
    default: // a register file of the map, not a register of the controller
        return "?";
    }
}

std::string setting_line(Reg reg, std::uint32_t value) {
    return register_name(reg) + "=" + hex(value, reg.kind == Reg::Kind::TV ? 4 : 2);
}

bool is_data_port(std::uint32_t port) {
    return port == reg::kGrData.index || port == reg::kSrData.index || port == reg::kCrData.index;
}

std::vector<std::string> indexed_register_names() {
    const std::vector<int> fa = pages_in_use(Pager::GrFA), bf = pages_in_use(Pager::GrBF);
    std::vector<std::string> names;
    for (const auto file : {File::GR, File::SR, File::CR})
        for (unsigned index = 0; index < 256; ++index) {
            const Pager pager = registers::pager_of(file, static_cast<std::uint8_t>(index));
            Reg r{file, static_cast<std::uint16_t>(index), Reg::kCurrentPage};
            if (pager == Pager::None) names.push_back(register_name(r));
            for (const int page : pager == Pager::GrFA   ? fa
                                  : pager == Pager::GrBF ? bf
                                                         : std::vector<int>{}) {
                r.page = page;
                names.push_back(register_name(r));
            }
        }
    return names;
}

} // namespace kova::registers
