// kovasim and kovactl read numbers alike (decimal or 0x hex, nothing else)
// and name the range of the value they refuse, the register's own for a
// register value or mask.
#include "kovactl_run.h"
#include "kovasim_run.h"

#include <gtest/gtest.h>

namespace {

TEST(NumberSyntax, OneParserOneRangeMessage) {
    const struct {
        bool kovasim;
        std::vector<std::string> args;
        int status;
        const char *err;
    } cases[] = {
        {true, {"--frames", "0x10", "-q"}, 0, "16 fields"},
        {true, {"--frames", "+5", "-q"}, 2, "--frames: +5: a number from 0 to 100000"},
        {true, {"--frames", " 5", "-q"}, 2, "--frames:  5: a number from 0 to 100000"},
        {true, {"--frames", "0x186A1", "-q"}, 2, "--frames: 0x186A1: a number from 0 to 100000"},
        {true, {"--set", "GR10=1FF", "-q"}, 2, "\"GR10=1FF\": the value must be a hex value from 0 to 0xFF"},
        {true,
         {"--set", "TVE430=1FFFF", "-q"},
         2,
         "\"TVE430=1FFFF\": the value must be a hex value from 0 to 0xFFFF"},
        {false,
         {"--set", "GR10=1FF", "status"},
         64,
         "\"GR10=1FF\": the value must be a hex value from 0 to 0xFF"},
        {false,
         {"reg", "set", "GRE8=12", "0x10000"},
         64,
         "MASK must be a number from 0x0 to 0xFF, not \"0x10000\""},
        {false,
         {"reg", "set", "TVE430=1FFFF"},
         64,
         "HEX must be a hex value from 0 to 0xFFFF, not \"1FFFF\""},
        {false, {"wait", "vsync", "0x2"}, 0, ""},
    };
    for (const auto &c : cases) {
        int status = 0;
        std::string err;
        if (c.kovasim) {
            const KovasimRun run = run_kovasim(c.args, false);
            status = run.status, err = run.err;
        } else {
            const KovactlRun run = run_kovactl(c.args);
            status = run.status, err = run.err;
        }
        EXPECT_EQ(status, c.status) << c.args[0] << " " << c.args[1] << "\n" << err;
        EXPECT_NE(err.find(c.err), std::string::npos) << err;
    }
}

} // namespace
