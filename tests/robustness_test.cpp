// Inputs that once broke a parser: each case pins the sound behaviour.
#include "picture.h"
#include "register_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

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
        {std::string_view("GR35=\0E", 7), "\"GR35=\\x00E\": the value must be a hex value from 0 to 0xFF"},
        {"GR35=\xff", "\"GR35=\\xFF\": the value must be a hex value from 0 to 0xFF"},
        {"GRE5=01", "\"GRE5=01\": GRE5 is paged; name its page, as in GRE5@00"},
    };
    for (const auto &c : cases) {
        kova::registers::Setting setting{};
        std::string error;
        EXPECT_FALSE(kova::registers::parse_setting(c.text, setting, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

// A YUV4MPEG2 header number is decimal digits that fit an int: a wider one
// is refused, not wrapped into a small picture size or frame rate.
TEST(RobustnessTest, Y4mHeaderNumbersDoNotWrap) {
    const std::string path = ::testing::TempDir() + "robustness-" + std::to_string(getpid()) + ".y4m";
    const struct {
        const char *header;
        const char *error; // nullptr: accepted
        int width = 0, height = 0, rate_num = 0, rate_den = 0;
    } cases[] = {
        {"YUV4MPEG2 W4294967298 H2", "bad picture size"},
        {"YUV4MPEG2 W2 H-4294967294", "bad picture size"},
        {"YUV4MPEG2 W2x H2", "bad picture size"},
        {"YUV4MPEG2 W2 H2 F4294967297:1", "bad frame rate 4294967297:1"},
        {"YUV4MPEG2 W2 H2 F25:1x", "bad frame rate 25:1x"},
        {"YUV4MPEG2 W2 H2 F:1", "bad frame rate :1"},
        {"YUV4MPEG2 W8192 H2 F30000:1001", nullptr, 8192, 2, 30000, 1001},
        {"YUV4MPEG2 W0002 H6", nullptr, 2, 6, 25, 1},
    };
    for (const auto &c : cases) {
        std::ofstream(path, std::ios::binary) << c.header << "\n";
        kova::picture::Y4mReader reader;
        std::string error;
        const bool opened = reader.open(path, error);
        if (c.error != nullptr) {
            EXPECT_FALSE(opened) << c.header;
            EXPECT_EQ(error, path + ": " + c.error) << c.header;
            continue;
        }
        ASSERT_TRUE(opened) << c.header << ": " << error;
        EXPECT_EQ(reader.header().width, c.width) << c.header;
        EXPECT_EQ(reader.header().height, c.height) << c.header;
        EXPECT_EQ(reader.header().rate_num, c.rate_num) << c.header;
        EXPECT_EQ(reader.header().rate_den, c.rate_den) << c.header;
    }
    std::remove(path.c_str());
}

} // namespace
