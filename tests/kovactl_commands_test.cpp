// kovactl end to end on the simulated controller: each command makes exactly
// the register accesses of the library call it stands for, with the
// arguments mapped as documented.  The expected trace comes from the same
// library call made in this process on a controller preset the same way.
#include "kovactl_run.h"
#include "register_dump.h"
#include "expected_trace.h"
#include "sim_fixture.h"

#include "capture.h"
#include "misc.h"
#include "overlay.h"
#include "synclock.h"
#include "utility.h"

#include <functional>

namespace {

struct CommandCase {
    std::vector<std::string> command;
    std::function<void()> library;
    std::vector<std::string> settings = {};
};

// A screen and a controller state that make the sequences take their
// data-dependent branches: 800x600 at 16 bits, the wide bus, TV sensing on,
// the synthesiser selected for the pixel clock.
const std::vector<std::string> kBusy = {"CR01=63",  "CR07=40", "CR12=57",    "GR72=07",    "GRB1@01=04",
                                        "P03CC=0C", "GRB0=42", "GRB1@00=D0", "GRBA@00=89", "TVE454=0100"};

const CommandCase kCases[] = {
    {{"overlay", "0", "on"}, [] { Kova_SelectOverlayIndex(0), Kova_OverlayOn(); }},
    {{"overlay", "1", "off"}, [] { Kova_SelectOverlayIndex(1), Kova_OverlayOff(); }},
    {{"overlay", "1", "init"}, [] { Kova_SelectOverlayIndex(1), Kova_InitOverlay(); }},
    {{"overlay", "0", "cleanup"}, [] { Kova_SelectOverlayIndex(0), Kova_OverlayCleanUp(); }},
    {{"overlay", "1", "format", "3"}, [] { Kova_SelectOverlayIndex(1), Kova_SetOverlayFormat(3); }},
    {{"overlay", "0", "mode", "1"}, [] { Kova_SelectOverlayIndex(0), Kova_SetOverlayMode(1); }},
    {{"overlay", "1", "window", "10", "20", "0x14A", "260"},
     [] { Kova_SelectOverlayIndex(1), Kova_SetOverlayWindow(10, 20, 330, 260); }},
    {{"overlay", "1", "source", "0x96000", "4", "2", "720", "736"},
     [] { Kova_SelectOverlayIndex(1), Kova_SetOverlaySrcAddr(0x96000, 4, 2, 720, 736); }},
    {{"overlay", "0", "scale", "bob", "720", "360", "576", "288"},
     [] { Kova_SelectOverlayIndex(0), Kova_SetOverlayScale(1, 720, 360, 576, 288); }},
    {{"overlay", "1", "scale", "weave", "720", "1440", "576", "0"},
     [] { Kova_SelectOverlayIndex(1), Kova_SetOverlayScale(0, 720, 1440, 576, 0); }},
    {{"overlay", "0", "fifo"}, [] { Kova_SelectOverlayIndex(0), Kova_ChangeOverlayFIFO(); }},
    {{"overlay", "1", "key", "0x123456"}, [] { Kova_SelectOverlayIndex(1), Kova_SetRGBKeyColor(0x123456); }},
    {{"overlay", "top", "1"}, [] { Kova_WhichOverlayOnTop(1); }},

    {{"capture", "1", "init", "0"}, [] { Kova_SelectCaptureIndex(1), Kova_InitCapture(0); }},
    {{"capture", "0", "window", "8", "728", "2", "290"},
     [] { Kova_SelectCaptureIndex(0), Kova_SetCapSrcWindow(8, 728, 2, 290); }},
    {{"capture", "1", "dest", "0x180000", "3", "5", "720"},
     [] { Kova_SelectCaptureIndex(1), Kova_SetCapDstAddr(0x180000, 3, 5, 720); }},
    {{"capture", "0", "scale", "720", "360", "288", "576", "1"},
     [] { Kova_SelectCaptureIndex(0), Kova_SetCaptureScale(720, 360, 288, 576, 1); }},
    {{"capture", "0", "on"}, [] { Kova_SelectCaptureIndex(0), Kova_CaptureOn(); }},
    {{"capture", "1", "off"}, [] { Kova_SelectCaptureIndex(1), Kova_CaptureOff(); }},
    {{"capture", "0", "cleanup"}, [] { Kova_SelectCaptureIndex(0), Kova_CaptureCleanUp(); }},
    {{"capture", "1", "guard", "0x24A800"},
     [] { Kova_SelectCaptureIndex(1), Kova_SetCapSafeGuardAddr(0x24A800); },
     kBusy},
    {{"capture", "0", "backbuffer", "0x1F0000"}, [] { Kova_SetBackBuffer_addr(0x1F0000); }},
    {{"capture", "0", "double", "on"}, [] { Kova_EnableDoubleBuffer(1); }},
    {{"capture", "1", "double", "off"}, [] { Kova_EnableDoubleBuffer(0); }},
    {{"capture", "0", "polarity", "inverted"}, [] { Kova_InvertFieldPolarity(1); }},

    {{"dac", "crt", "on"}, [] { TurnOnOffCRTDAC(1); }},
    {{"dac", "tv", "off"}, [] { TurnOnOffTVDAC(0); }},
    {{"dac", "ram", "on"}, [] { TurnOnOffRAMDAC(1); }},
    {{"dac", "power", "off"}, [] { DACPower(0); }},
    {{"wait", "vsync", "2"}, [] { WaitCrtVertSync(), WaitCrtVertSync(); }},
    {{"wait", "hsync"}, [] { WaitCrtHoriSync(); }},
    {{"wait", "crt-vsync"}, [] { WaitCRTVSync(); }},
    {{"wait", "capture-vsync", "2"}, [] { sleep_VSync(2); }},
    {{"detect"}, [] { DetectCRT(), DetectTV(); }, kBusy},
    {{"clock"}, [] { GetVMemoryClock(), GetVPixelClock(); }, kBusy},
    {{"screen"},
     [] {
         GetCurrentScreenInfo(0), GetCurrentScreenInfo(1), GetBpp(), GetCurrentScreenMapSize(0);
         GetCurrentScreenMapSize(1), GetVMemSize(), GetBusWidth(), GetChipID(), GetLinearBufferPtr();
     },
     kBusy},
    {{"draw", "line", "0", "0", "799", "599", "0xF800"}, [] { SetEnvironmentVariables(); }, kBusy},
    {{"blank", "0", "0", "800", "600"}, [] { SetEnvironmentVariables(); }, kBusy},

    {{"synclock", "on", "3"}, [] { Kova_DoSyncLock(0, 0, 3, 1), Kova_SetTVColor(); }},
    {{"synclock", "on", "0", "--standard", "ntsc", "--clock", "1", "--variant", "0", "--no-color"},
     [] { Kova_DoSyncLock(1, 1, 0, 0); }},
    {{"synclock", "tvmode"}, [] { Kova_GetTVMode(); }},
    {{"genlock", "on", "2", "--variant", "0"}, [] { Kova_SetSyncLockGM(0, 0, 2, 0); }},
    {{"videoclock", "on", "1", "--standard", "ntsc", "--clock", "1"},
     [] { Kova_ChangeToVideoClk(1, 1, 1, 1, 1); }},
    {{"crt", "write", "ntsc", "2"}, [] { WriteCrt(1, 2); }},
    {{"fetch", "hold"}, [] { ResetDisplayFetch(1); }},

    {{"reg", "get", "CAP1:60"}, [] { Kova_SelectCaptureIndex(1), In_Capture_Reg(0x60); }},
    {{"reg", "set", "OVL1:C5=12"},
     [] { Kova_SelectOverlayIndex(1), Out_Overlay_Reg(0xC5, 0x12), ReadReg(0x3C4, 0xC5); }},
    {{"reg", "set", "CAP1:E9=20", "0x20"},
     [] { Kova_SelectCaptureIndex(1), Out_Capture_Reg_M(0xE9, 0x20, 0xDF), In_Capture_Reg(0xE9); }},
    {{"reg", "set", "GR10=A5", "0x0F"}, [] { WriteRegM(0x3CE, 0x10, 0x05, 0xF0), ReadReg(0x3CE, 0x10); }},
    // By the register map's name, in any case; one of several bytes read low byte first.
    {{"reg", "get", "aperture-Base"}, [] { ReadReg(0x3CE, 0x35); }},
    {{"reg", "set", "APERTURE_BASE=E0"}, [] { WriteReg(0x3CE, 0x35, 0xE0), ReadReg(0x3CE, 0x35); }},
    {{"reg", "get", "CAP1:capture address"},
     [] {
         for (const unsigned char index : {0xEB, 0xEC, 0xED})
             Kova_SelectCaptureIndex(1), In_Capture_Reg(index);
     }},
};

void PrintTo(const CommandCase &c, std::ostream *os) {
    for (const auto &word : c.command)
        *os << word << ' ';
}

class KovactlCommand : public SimTest, public ::testing::WithParamInterface<CommandCase> {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        bInitialized = 0; // a fresh process has saved nothing and locked nothing
        wSyncLock = wSyncLockGM = wExtClock = 0;
    }
};

TEST_P(KovactlCommand, MakesTheLibraryCallsTrace) {
    const CommandCase &c = GetParam();
    std::vector<std::string> args = presets(c.settings);
    args.insert(args.end(), c.command.begin(), c.command.end());
    const KovactlRun run = run_kovactl(args);
    ASSERT_EQ(run.status, 0) << run.err;

    for (const std::string &text : c.settings) {
        kova::registers::Setting setting;
        std::string error;
        ASSERT_TRUE(kova::registers::parse_setting(text, setting, error)) << error;
        kova::sim::apply(sim, setting);
    }
    map();
    c.library();
    EXPECT_EQ(run.trace, trace());
}

std::string case_name(const ::testing::TestParamInfo<CommandCase> &info) {
    std::string name;
    for (const auto &word : info.param.command)
        for (const char ch : word)
            name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Commands, KovactlCommand, ::testing::ValuesIn(kCases), case_name);

// Register reads and writes by name, as hand-written sequences: the paged
// register is read in its page and the page put back.
TEST(KovactlRegisters, PagedReadSelectsAndRestoresThePage) {
    const KovactlRun run = run_kovactl({"--set", "GRBF=02", "--set", "GRB1@01=5A", "reg", "get", "GRB1@01"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "0x5A\n");
    EXPECT_EQ(decode(run.trace), (Lines{reg_read(GR, 0xBF, 0x02), reg_write(GR, 0xBF, 0x01),
                                        reg_read(GR, 0xB1, 0x5A), reg_write(GR, 0xBF, 0x02)}));
}

TEST(KovactlRegisters, SetReadsBackAndReportsAMismatch) {
    // The input status port reads the raster, not what was written to it.
    const KovactlRun mismatch = run_kovactl({"reg", "set", "P03DA=08"});
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_NE(mismatch.err.find("P03DA: wrote 0x08 (mask 0xFF), reads back 0x"), std::string::npos)
        << mismatch.err;

    const KovactlRun tv = run_kovactl({"--set", "TVE430=FF00", "reg", "set", "TVE430=0x1234", "0x00FF"});
    EXPECT_EQ(tv.status, 0) << tv.err;
    EXPECT_EQ(tv.reg("TVE430"), 0xFF34u);
}

TEST(KovactlRegisters, DumpIsAGridWithHeaders) {
    const KovactlRun run =
        run_kovactl({"--set", "SR4F@08=11", "--set", "SR3A=C3", "reg", "dump", "SR", "--page", "8"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string header = "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\n";
    ASSERT_EQ(run.out.substr(0, header.size()), header);
    EXPECT_NE(run.out.find("\n30: 00 00 00 00 00 00 00 00 00 00 c3 00 00 00 00 00\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n40: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 11\n"), std::string::npos);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 17);

    const KovactlRun tv = run_kovactl({"--set", "TVE47C=E08E", "--json", "reg", "dump", "TV"});
    ASSERT_EQ(tv.status, 0) << tv.err;
    EXPECT_EQ(tv.out.rfind("{\"file\":\"TV\",\"first\":58400,\"step\":2,\"page\":-1,\"values\":[", 0), 0u);
    EXPECT_NE(tv.out.find(",57486,"), std::string::npos); // E47C
}

TEST(KovactlRegisters, DumpWithFieldsNamesEachRegisterAndField) {
    const KovactlRun run = run_kovactl({"--set", "GR35=E0", "reg", "dump", "GR", "--fields"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\nGR35       APERTURE_BASE                    0xE0\n"
                           "    bits 7-0   0xE0     physical address bits 31-24\n"),
              std::string::npos)
        << run.out;
    const KovactlRun capture = run_kovactl({"reg", "dump", "CAP1", "--fields"});
    ASSERT_EQ(capture.status, 0) << capture.err;
    EXPECT_NE(capture.out.find("\nCAP1:EB    CAPTURE_ADDRESS                  0x000000\n"), std::string::npos)
        << capture.out;
}

} // namespace
