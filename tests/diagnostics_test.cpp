// capview's diagnostics on standard error: what each one says, and that
// standard output, exit status and register accesses stay what they are.
#include "capview.h"
#include "capview_settings.h"
#include "kovasim_run.h"
#include "privilege_hint.h"
#include "sim_fixture.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kBanner = "capview v0.1\n";

// capview's own lines on standard error (kovasim adds its summary).
Lines capview_lines(const std::string &err) {
    Lines lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("capview: ")) lines.push_back(line);
    return lines;
}

// The trace of the stop and start sequences with the given settings, driven
// in process: what kovasim must show, diagnostics or not.
Lines sequence_trace(void (*settings)()) {
    capview_start_settings();
    settings();
    auto &sim = kova::sim::controller();
    sim.reset();
    RequestIOPrivilege();
    if (DisableOverlay() == 0) EnableOverlay();
    return sim.trace();
}

TEST(Diagnostics, SettingsTheEnginesCannotHoldAreWarnedAbout) {
    struct Case {
        std::vector<std::string> args;
        void (*settings)();
        Lines warnings;
    };
    const Case cases[] = {
        {{"-W", "1920"},
         [] { srcWidth = 1920; },
         {"capview: warning: capture pitch of 1920 pixels exceeds the engine's 1020"}},
        {{"-W", "1024"},
         [] { srcWidth = 1024; },
         {"capview: warning: capture pitch of 1024 pixels exceeds the engine's 1020"}},
        {{"-W", "1020"}, [] { srcWidth = 1020; }, {}},
        {{"-d", "-W", "1920"}, [] { bDoubleBuf = 1, srcWidth = 1920; }, {}}, // half the pitch
        {{"-w", "1920", "-h", "1080"},
         [] { destWidth = 1920, destHeight = 1080; },
         {"capview: warning: the capture buffer (0x180000 to 0x574800) runs past the 4 MiB of video memory",
          "capview: warning: the capture guard address 0x574800 wraps into the visible screen"}},
        {{"-d", "-w", "1920", "-h", "1080"},
         [] { bDoubleBuf = 1, destWidth = 1920, destHeight = 1080; },
         {"capview: warning: the back buffer (0x37A400 to 0x574800) runs past the 4 MiB of video memory",
          "capview: warning: the capture guard address 0x574800 wraps into the visible screen"}},
        {{"-x", "1024"},
         [] { offsetX = 1024; },
         {"capview: warning: the overlay window (1024,0)-(1744,576) lies entirely off the 1024x768 screen"}},
        {{"-x", "-720"},
         [] { offsetX = -720; },
         {"capview: warning: the overlay window (-720,0)-(0,576) lies entirely off the 1024x768 screen"}},
        {{"-x", "-719", "-y", "767"}, [] { offsetX = -719, offsetY = 767; }, {}}, // one pixel on screen
        {{"-H", "0"},
         [] { srcHeight = 0; },
         {"capview: warning: source height is 0: the engines scale from or to nothing"}},
        {{"-d", "-w", "5"},
         [] { bDoubleBuf = 1, destWidth = 5; }, // rounded down to 0
         {"capview: warning: the overlay window (0,0)-(0,576) lies entirely off the 1024x768 screen",
          "capview: warning: destination width is 0: the engines scale from or to nothing"}},
        {{"-W", "abc"},
         [] { srcWidth = 0; },
         {"capview: warning: -W, --sourcewidth: value 'abc' is not a plain number; read as 0",
          "capview: warning: source width is 0: the engines scale from or to nothing"}},
        {{"--offsetx=12px"},
         [] { offsetX = 12; },
         {"capview: warning: -x, --offsetx: value '12px' is not a plain number; read as 12"}},
        {{"-s", "7"},
         [] { bSynclock = 1; },
         {"capview: warning: -s, --synclock: mode '7' is out of range (0 to 3); keeping 3"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const KovasimRun run = run_kovasim(c.args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, kBanner);
        EXPECT_EQ(capview_lines(run.err), c.warnings);
        EXPECT_EQ(run.trace, sequence_trace(c.settings));
    }
}

TEST(Diagnostics, RejectedValuesNameOptionValueAndRange) {
    struct Case {
        std::vector<std::string> args;
        Lines errors;
    };
    const Case cases[] = {
        {{"-x", "1921"}, {"capview: -x, --offsetx: value '1921' is out of range (-1920 to 1920)"}},
        {{"--destheight=2000"}, {"capview: -h, --destheight: value '2000' is out of range (0 to 1080)"}},
        {{"-w", "2000abc"}, {"capview: -w, --destwidth: value '2000abc' is out of range (0 to 1920)"}},
        {{"-Y", "-4294967396", "-C", "-1081"},
         {"capview: -Y, --shrinky: value '-4294967396' is out of range (-1080 to 1080)",
          "capview: -C, --bitclipheight: value '-1081' is out of range (-1080 to 1080)"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const KovasimRun run = run_kovasim(c.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, kBanner + kUsageText);
        EXPECT_EQ(capview_lines(run.err), c.errors);
        EXPECT_EQ(run.trace, (Lines{"iopl 3"}));
    }
}

TEST(Diagnostics, FailuresToMapOrGainPrivilegeSayWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string out;
        std::string error;
    };
    const Case cases[] = {
        {{"--fail", "iopl"},
         "",
         std::string("capview: I/O privilege refused (iopl 3): Operation not permitted; ") +
             kova::tool::privilege_hint()},
        {{"--fail", "open"},
         "Opening mem device failed!\n",
         "capview: cannot map the controller: Permission denied; run as root"},
        {{"--fail", "mmap-fb"},
         "Mapping linear frame buffer failed!\n",
         "capview: cannot map the controller: Operation not permitted; the kernel restricts /dev/mem "
         "(STRICT_DEVMEM): boot with iomem=relaxed"},
        {{"--fail", "mmap-mmio"},
         "Mapping MMIO failed!\n",
         "capview: cannot map the controller: Operation not permitted; the kernel restricts /dev/mem "
         "(STRICT_DEVMEM): boot with iomem=relaxed"},
        {{"--set", "GR35=00"},
         "Mapping linear frame buffer failed!\n",
         "capview: cannot map the controller: No such device; no display controller found"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args[1]);
        const KovasimRun run = run_kovasim(c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, kBanner + c.out);
        EXPECT_EQ(capview_lines(run.err), Lines{c.error});
        for (const std::string &line : run.trace)
            EXPECT_FALSE(line.starts_with("w") || line.starts_with("r")) << line;
    }
}

} // namespace
