// Inputs that once broke a parser: each case pins the sound behaviour.
#include "register_names.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

// A refused register setting names the text it refused on one line, bytes
// outside printable ASCII written as \xHH.
TEST(RobustnessTest, RefusedSettingIsQuotedOnOneLine) {
    const struct {
        std::string_view text;
        std::string error;
    } cases[] = {
        {"GR\n5@80=1F",
         "\"GR\\x0A5@80=1F\": unknown register; use GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp, TVxxxx or Pxxxx"},
        {"\x1b[2J", "\"\\x1B[2J\": expected NAME=HEX"},
        {std::string_view("GR35=\0E", 7), "\"GR35=\\x00E\": the value is 1 to 2 hex digits"},
        {"GR35=\xff", "\"GR35=\\xFF\": the value is 1 to 2 hex digits"},
        {"GRE5=01", "\"GRE5=01\": GRE5 is paged; name its page, as in GRE5@00"},
    };
    for (const auto &c : cases) {
        kova::sim::Setting setting{};
        std::string error;
        EXPECT_FALSE(kova::sim::parse_setting(c.text, setting, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

} // namespace
