// Register names and settings in text form, as the programs print and take
// them: what one prints, the other reads back as the same register and value.
#include "register_text.h"

#include <gtest/gtest.h>

#include <string>

using kova::registers::Reg;

namespace {

bool same(const Reg &a, const Reg &b) {
    return a.kind == b.kind && a.index == b.index && a.page == b.page;
}

} // namespace

// Every indexed register that "kovactl help registers" lists (and the bash
// completion offers) is one that --set and "reg get" take, its page exactly
// where the register is paged.
TEST(RegisterText, EveryListedIndexedNameReadsBackAsItself) {
    for (const std::string &name : kova::registers::indexed_register_names()) {
        Reg reg{};
        std::string error;
        ASSERT_TRUE(kova::registers::parse_register(name, reg, error)) << error;
        EXPECT_EQ(kova::registers::register_name(reg), name);
        EXPECT_EQ(kova::registers::paged(reg.kind, reg.index), reg.page != Reg::kCurrentPage) << name;
    }
}

// A dump line and a dry run's --set line: a register of each kind, values at
// both ends of its width.
TEST(RegisterText, SettingLinesReadBackAsTheirSetting) {
    struct Case {
        Reg reg;
        std::uint32_t value;
        const char *line;
    };
    const Case cases[] = {
        {.reg = Reg::gr(0x35), .value = 0x01, .line = "GR35=01"},
        {.reg = Reg::gr(0xE5, 0x80), .value = 0xFF, .line = "GRE5@80=FF"},
        {.reg = Reg::sr(0x4F, 0x01), .value = 0x00, .line = "SR4F@01=00"},
        {.reg = Reg::cr(0x11), .value = 0x7F, .line = "CR11=7F"},
        {.reg = Reg::tv(0xE47C), .value = 0xFFFF, .line = "TVE47C=FFFF"},
        {.reg = Reg::tv(0x0002), .value = 0x0044, .line = "TV0002=0044"},
        {.reg = Reg::port(0x03C2), .value = 0x67, .line = "P03C2=67"},
    };
    for (const Case &c : cases) {
        const std::string line = kova::registers::setting_line(c.reg, c.value);
        EXPECT_EQ(line, c.line);
        kova::registers::Setting setting{};
        std::string error;
        ASSERT_TRUE(kova::registers::parse_setting(line, setting, error)) << error;
        EXPECT_TRUE(same(setting.reg, c.reg)) << line;
        EXPECT_EQ(setting.value, c.value) << line;
    }
}
