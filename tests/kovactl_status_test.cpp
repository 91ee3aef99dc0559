// kovactl's reading commands against a preset register state whose decoded
// values were worked out by hand.
#include "kovactl_run.h"

#include <gtest/gtest.h>

namespace {

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

KovactlRun run_with(const std::vector<std::string> &settings, const std::vector<std::string> &command) {
    std::vector<std::string> args = presets(settings);
    args.insert(args.end(), command.begin(), command.end());
    return run_kovactl(args);
}

// 800x600 at 16 bits, 6 MiB on the wide bus, aperture at D0000000, chip 5
// (earlier generation); memory clock 14.31818 * 64 / (2 * 8) = 57.273 MHz,
// pixel clock from the synthesiser 14.31818 * 323 / (8 * 49) = 11.798 MHz.
const std::vector<std::string> kScreen = {"CR01=63",    "CR07=40",  "CR12=57", "GR77=02",    "GR72=07",
                                          "GR35=D0",    "GR91=10",  "GR92=05", "GRB2=3F",    "GRB3=47",
                                          "GRBB@00=00", "P03CC=0C", "GRB0=42", "GRB1@00=D0", "GRBA@00=89"};

// Overlay window 1 on top in BOB mode, capture engine 1 routed and running
// with its guard, double buffering on.
const std::vector<std::string> kEngines = {
    "SRDC=A0",    "SRC5=0A",    "SRC7=4A",    "SRC8=01",    "SRC9=14",    "SRCB=04",    "SRCC=01",
    "SRC1=58",    "SRC2=02",    "SRC3=5A",    "SRD4=08",    "SRD8=20",    "SRDB=03",    "SRCE=56",
    "SRCF=34",    "SRD0=12",    "SRA7=08",    "SRDE=01",    "SREF=02",    "GRE8=01",    "GR60@80=11",
    "GR62@80=D2", "GR63@80=05", "GR64@80=04", "GR66@80=24", "GR67@80=01", "GREC@80=60", "GRED@80=01",
    "GREE@80=B4", "GR6B@80=08", "GR6F@80=10", "GREA@80=02", "GRE9@00=20", "SRA2=04",    "GR47=FC",
    "GR48=29",    "GR49=90",    "GRAC=02",    "GRA9=17",    "GRA8=95"};

TEST(KovactlStatus, DecodesScreenClocksAndEngines) {
    std::vector<std::string> settings = kScreen;
    settings.insert(settings.end(), kEngines.begin(), kEngines.end());
    const KovactlRun run = run_with(settings, {"status"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char *line : {
             "chip: id 0x05 (earlier generation), aperture 0xD0000000\n",
             "screen: 800x600, 16 bits per pixel\n",
             "video memory: 0x600000, wide bus\n",
             "clocks: memory 57.273 MHz, pixel 11.798 MHz\n",
             "overlay 0: off,",
             "overlay 1: on, window (10,20)-(330,260), source 0x096000 pitch 0x2D0, format 3, zoom 2.000 x "
             "0.500, "
             "BOB, key 0x123456, on top\n",
             "capture 0: not routed to the video port,",
             "capture 1: running, input pixels 8-744 lines 4-292, destination 0x058000 pitch 0x5A0, zoom "
             "0.500 x "
             "1.000, field scaling, fields inverted\n",
             "capture guard: at 0x24A7F0\n",
             "double buffering: on, back buffer 0x1E5400\n",
             "sync lock: off (TV encoder PAL)\n",
         })
        EXPECT_TRUE(contains(run.out, line)) << line << "\n" << run.out;

    const KovactlRun json = run_with(settings, {"--json", "status"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\"chip\":{\"id\":5,\"later_generation\":false,\"aperture\":3489660928},", 0),
              0u);
    EXPECT_TRUE(contains(json.out, "\"clocks\":{\"memory_mhz\":57.2727,\"pixel_mhz\":11.7979}")) << json.out;
    EXPECT_TRUE(contains(json.out,
                         "{\"engine\":1,\"routed\":true,\"enabled\":true,\"held\":false,\"first_pixel\":8,"))
        << json.out;
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1);
}

// The lock is read from the registers: sync registers CR 28-2B, the
// extended-sync block (SR E0), the video output switch (SR 4A, SR 4F page 08)
// and the VCR bit (SR EB bit 7).
struct LockCase {
    std::vector<std::string> settings;
    const char *line;
};

const LockCase kLocks[] = {
    {{"CR28=5C", "CR29=E0", "CR2A=EA", "CR2B=81", "TVE438=3000", "SRE0=02", "SR4A=08", "SR4F@08=11",
      "SREB=80"},
     "sync lock: sync lock, NTSC mode 0 variant 0, video output on\n"},
    {{"CR28=64", "CR29=90", "CR2A=30", "CR2B=82", "SRE0=03", "SR4F@08=C0", "SREB=00"},
     "sync lock: genlock, PAL mode 3 variant 1, video output off, VCR\n"},
    {{"CR28=64", "CR29=90", "CR2A=30", "CR2B=82", "SRE4=56", "SRE5=03", "SREB=80"},
     "sync lock: video clock, PAL mode 3 variant 1\n"},
    {{"CR28=01", "SRE0=02", "SR4A=08", "SR4F@08=11", "SREB=80"},
     "sync lock: sync lock, PAL (sync registers match no mode), video output on\n"},
    {{"TVE438=3000", "SR4A=08", "SREB=80"}, "sync lock: off (TV encoder NTSC)\n"},
};

TEST(KovactlStatus, NamesTheLockFromTheRegisters) {
    for (const LockCase &c : kLocks) {
        const KovactlRun run = run_with(c.settings, {"status"});
        EXPECT_TRUE(contains(run.out, c.line)) << c.line << "\n" << run.out;
    }
}

TEST(KovactlStatus, QueriesPrintTheLibrarysAnswers) {
    std::vector<std::string> settings = kScreen;
    settings.insert(settings.end(), {"GRBE@40=40", "TVE438=3000"});
    const struct {
        std::vector<std::string> command;
        const char *out;
    } cases[] = {
        {{"clock"}, "memory clock: 57.273 MHz\npixel clock: 11.798 MHz\n"},
        {{"--json", "clock"}, "{\"memory_mhz\":57.2727,\"pixel_mhz\":11.7979}\n"},
        {{"screen"},
         "screen: 800x600, 16 bits per pixel\nvideo memory: 6 MiB, bus width flag 1; screen 938 KiB, "
         "free 5206 KiB\nchip id: 0x5, aperture 0xD0000000\n"},
        {{"--json", "screen"},
         "{\"width\":800,\"height\":600,\"bpp\":16,\"screen_kib\":938,\"free_kib\":5206,"
         "\"video_memory_mib\":6,\"bus_width\":1,\"chip_id\":5,\"aperture\":3489660928}\n"},
        {{"detect"}, "crt sense: 0x1\ntv sense: 0x0\n"},
        {{"synclock", "tvmode"}, "NTSC\n"},
        {{"--json", "synclock", "tvmode"}, "{\"standard\":\"NTSC\"}\n"},
        {{"reg", "get", "TVE438"}, "0x3000\n"},
        {{"--json", "reg", "get", "GRBE@40"}, "{\"register\":\"GRBE@40\",\"value\":64}\n"},
    };
    for (const auto &c : cases) {
        const KovactlRun run = run_with(settings, c.command);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
    }
}

} // namespace
