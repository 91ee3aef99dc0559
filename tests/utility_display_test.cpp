// Sync waits against the raster and against stuck status bits, display
// detection and the DAC switches.
#include "screen_registers.h"
#include "status_poll.h"
#include "utility.h"

#include <algorithm>
#include <string>
#include <tuple>

namespace {

using kova::registers::Reg;

constexpr std::uint16_t kInputStatus = kova::reg::kInputStatus.index;

class Display : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        map();
    }
    // Input status reads with these values, in order.
    static Lines status_reads(std::initializer_list<unsigned> values) {
        Lines lines;
        for (unsigned v : values)
            lines.push_back(status_read(v));
        return lines;
    }
    // Runs f with the trace off and returns (standard output, register accesses made).
    template <typename F>
    std::pair<std::string, std::uint64_t> run_quietly(F f) {
        sim.set_recording(false);
        const std::uint64_t before = sim.access_count();
        testing::internal::CaptureStdout();
        f();
        std::string out = testing::internal::GetCapturedStdout();
        sim.set_recording(true);
        return {out, sim.access_count() - before};
    }
    static std::string timeout_warning(const char *wait) {
        return std::string("Warning: ") + wait + ": display status did not change in " +
               std::to_string(kova::kStatusPollLimit) + " reads, carrying on\n";
    }
};

// ---------------------------------------------------------------- sync waits
// Raster: every read of 0x3DA advances t first; frame phase t mod 8, vertical
// retrace at phases 6 and 7, blanking at odd phases and in the retrace.

TEST_F(Display, VerticalWaitReturnsAtTheFirstRetraceRead) {
    WaitCrtVertSync();
    EXPECT_EQ(ops(), status_reads({0x01, 0x00, 0x01, 0x00, 0x01, 0x09}));
    EXPECT_TRUE(sim.in_vertical_retrace());
}

TEST_F(Display, VerticalWaitLetsARetraceInProgressFinish) {
    sim.set_raster_time(5); // the next read is inside a retrace
    WaitCrtVertSync();
    EXPECT_EQ(ops(), status_reads({0x09, 0x09, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x09}));
    EXPECT_EQ(sim.raster_time(), 14u); // the start of the next retrace
}

TEST_F(Display, BlankingWaitReturnsAtTheStartOfTheNextBlanking) {
    WaitCrtHoriSync(); // t = 1 is blanked: let it end, then t = 3
    EXPECT_EQ(ops(), status_reads({0x01, 0x00, 0x01}));
    sim.clear_trace();
    sim.set_raster_time(5); // vertical blanking from t = 6 to 7
    WaitCrtHoriSync();
    EXPECT_EQ(ops(), status_reads({0x09, 0x09, 0x00, 0x01}));
}

TEST_F(Display, WaitsEndAfterTheBoundWhenTheBitStaysSet) {
    sim.stick_bits(Reg::port(kInputStatus), 0x08, 0x08);
    auto [out, reads] = run_quietly(WaitCrtVertSync);
    EXPECT_EQ(out, timeout_warning("WaitCrtVertSync"));
    EXPECT_EQ(reads, kova::kStatusPollLimit);

    sim.stick_bits(Reg::port(kInputStatus), 0x01, 0x01);
    std::tie(out, reads) = run_quietly(WaitCrtHoriSync);
    EXPECT_EQ(out, timeout_warning("WaitCrtHoriSync"));
    EXPECT_EQ(reads, kova::kStatusPollLimit);
}

TEST_F(Display, WaitsEndAfterTheBoundWhenTheBitStaysClear) {
    sim.stick_bits(Reg::port(kInputStatus), 0x08, 0x00);
    auto [out, reads] = run_quietly(WaitCrtVertSync);
    EXPECT_EQ(out, timeout_warning("WaitCrtVertSync"));
    EXPECT_EQ(reads, kova::kStatusPollLimit + 1); // one read ends the first half

    sim.stick_bits(Reg::port(kInputStatus), 0x01, 0x00);
    std::tie(out, reads) = run_quietly(WaitCrtHoriSync);
    EXPECT_EQ(out, timeout_warning("WaitCrtHoriSync"));
    EXPECT_EQ(reads, kova::kStatusPollLimit + 1);
}

// ---------------------------------------------------------------- CRT detection

TEST_F(Display, CrtSenseCodes) {
    const unsigned short expected[4] = {0xFFFF, 0xFFFF, 1, 0};
    for (unsigned code = 0; code < 4; ++code) {
        sim.set(Reg::gr(0xBE, 0x40), static_cast<std::uint8_t>(0x9F | code << 5));
        sim.set(Reg::gr(0xBE, 0x00), static_cast<std::uint8_t>((3 - code) << 5)); // another bank
        sim.set(Reg::gr(0xBF), 0x02);
        EXPECT_EQ(DetectCRT(), expected[code]) << "code " << code;
        EXPECT_EQ(sim.page_bf(), 0x00);
    }
}

TEST_F(Display, CrtDetectionSelectsBankFortyAroundTheRead) {
    sim.set(Reg::gr(0xBE, 0x40), 0x40);
    EXPECT_EQ(DetectCRT(), 1);
    EXPECT_EQ(ops(), (Lines{"GR BF=40", "GR BE?40", "GR BF=00"}));
}

// ---------------------------------------------------------------- TV detection

class TvDetection : public Display {
  protected:
    static constexpr std::uint16_t kE430 = 0xE430, kE4FC = 0xE4FC, kE500 = 0xE500;

    void SetUp() override {
        Display::SetUp();
        sim.set(Reg::gr(0xB1, 0x01), 0x04); // sensing possible
        sim.set_tv(kE4FC, 0x1234);
        sim.set_tv(kE500, 0x5678);
        sim.set_tv(kE430, 0x9ABC);
    }
    // The second read of E430 is the sense value.
    void sense(std::uint16_t value) { sim.script_reads(Reg::tv(kE430), {0x9ABC, value}); }
    void expect_restored() {
        EXPECT_EQ(sim.get_tv(kE4FC), 0x1234);
        EXPECT_EQ(sim.get_tv(kE500), 0x5678);
        EXPECT_EQ(sim.get_tv(kE430), 0x9ABC);
        EXPECT_EQ(sim.page_bf(), 0x00);
    }
};

TEST_F(TvDetection, WithoutSenseSupportReportsNothingAttachedAndTouchesNothing) {
    sim.set(Reg::gr(0xB1, 0x01), 0xFB);
    sim.set(Reg::gr(0xB1, 0x00), 0x04); // another bank
    EXPECT_EQ(DetectTV(), 0);
    EXPECT_EQ(ops(), (Lines{"GR BF=01", "GR B1?FB", "GR BF=00"}));
    EXPECT_EQ(sim.raster_time(), 0u);
}

TEST_F(TvDetection, SensesAfterThreeBlankingWaitsAndRestoresEveryRegister) {
    sense(0x00C0); // code 3
    EXPECT_EQ(DetectTV(), 2);
    const Lines expected =
        Lines{"GR BF=01",     "GR B1?04",     "TV E4FC?1234", "TV E500?5678", "TV E430?9ABC",
              "TV E430=0003", "TV E4FC=FFFF", "GR 91?10",     "GR 92?09",     "TV E500=3FFF"} +
        status_reads({0x01, 0x00, 0x01, /**/ 0x00, 0x01, /**/ 0x09, 0x09, 0x00, 0x01}) +
        Lines{"TV E430?00C0", "TV E430=9ABC", "TV E4FC=1234", "TV E500=5678", "GR BF=00"};
    EXPECT_EQ(ops(), expected);
    expect_restored();
}

TEST_F(TvDetection, EarlierGenerationDrivesE500WithItsOwnLevel) {
    sim.set(Reg::gr(0x92), 0x07);
    sense(0x0040);
    EXPECT_EQ(DetectTV(), 1);
    const Lines lines = ops();
    EXPECT_NE(std::find(lines.begin(), lines.end(), tv_write(kE500, 0x00FF)), lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), tv_write(kE500, 0x3FFF)), lines.end());
    expect_restored();
}

TEST_F(TvDetection, SenseCodesMapToResults) {
    const struct {
        std::uint16_t sense;
        unsigned short result;
    } cases[] = {{0x0000, 0xFFFF}, {0xFF3F, 0xFFFF}, {0x0040, 1}, {0x0080, 0}, {0xFFBF, 0}, {0x00C0, 2}};
    for (const auto &c : cases) {
        sense(c.sense);
        EXPECT_EQ(DetectTV(), c.result) << "sense " << c.sense;
        expect_restored();
    }
}

TEST_F(TvDetection, StoppedTimingEndsTheWaitsAndStillRestores) {
    sense(0x0080);
    sim.stick_bits(Reg::port(kInputStatus), 0x01, 0x01);
    unsigned short result = 0xAAAA;
    auto [out, reads] = run_quietly([&] { result = DetectTV(); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, timeout_warning("WaitCrtHoriSync")); // one warning, not three
    EXPECT_LT(reads, kova::kStatusPollLimit + 40);
    expect_restored();
}

// ---------------------------------------------------------------- DAC switches

TEST_F(Display, TvDacOffClearsTheEnableAndE430BitsEightAndOne) {
    sim.set(Reg::gr(0x4E, 0x05), 0xFF);
    sim.set(Reg::gr(0x4E, 0x00), 0x00); // another bank
    sim.set_tv(0xE430, 0xFFFF);
    TurnOnOffTVDAC(0);
    EXPECT_EQ(sim.get(Reg::gr(0x4E, 0x05)), 0xFB);
    EXPECT_EQ(sim.get(Reg::gr(0x4E, 0x00)), 0x00);
    EXPECT_EQ(sim.get_tv(0xE430), 0xFEFD);
    EXPECT_EQ(sim.page_fa(), 0x05);
    EXPECT_EQ(ops(), (Lines{"GR FA=05", "GR 4E?FF", "GR 4E'=FB", "TV E430?FFFF", "TV E430=FEFD"}));
    // Any value but 1 switches off.
    sim.set(Reg::gr(0x4E, 0x05), 0x04);
    TurnOnOffTVDAC(2);
    EXPECT_EQ(sim.get(Reg::gr(0x4E, 0x05)), 0x00);
}

TEST_F(Display, TvDacOnSetsTheEnableOnly) {
    sim.set(Reg::gr(0x4E, 0x05), 0x10);
    sim.set_tv(0xE430, 0x0000);
    TurnOnOffTVDAC(1);
    EXPECT_EQ(sim.get(Reg::gr(0x4E, 0x05)), 0x14);
    EXPECT_EQ(sim.get_tv(0xE430), 0x0000);
    EXPECT_EQ(ops(), (Lines{"GR FA=05", "GR 4E?10", "GR 4E'=14"}));
}

TEST_F(Display, CrtDacWritesItsControlInBankTwo) {
    sim.set(Reg::gr(0xB1, 0x01), 0x55);
    TurnOnOffCRTDAC(1);
    EXPECT_EQ(sim.get(Reg::gr(0xB1, 0x02)), 0x00);
    EXPECT_EQ(ops(), (Lines{"GR BF=02", "GR B1=00", "GR BF=00"}));
    sim.clear_trace();
    TurnOnOffCRTDAC(2);
    EXPECT_EQ(sim.get(Reg::gr(0xB1, 0x02)), 0x3F);
    EXPECT_EQ(ops(), (Lines{"GR BF=02", "GR B1=3F", "GR BF=00"}));
    TurnOnOffCRTDAC(1);
    TurnOnOffCRTDAC(0);
    EXPECT_EQ(sim.get(Reg::gr(0xB1, 0x02)), 0x3F);
    EXPECT_EQ(sim.get(Reg::gr(0xB1, 0x01)), 0x55);
    EXPECT_EQ(sim.page_bf(), 0x00);
}

TEST_F(Display, RamDacSwitchOpensTheDacPortAndPutsGr56Back) {
    sim.set(Reg::gr(0x56), 0x30);
    sim.set(Reg::port(0x3C6), 0xFF);
    TurnOnOffRAMDAC(1);
    EXPECT_EQ(sim.get(Reg::port(0x3C6)), 0xBE);
    EXPECT_EQ(sim.get(Reg::gr(0x56)), 0x30);
    EXPECT_EQ(ops(), (Lines{"GR 56?30", "GR 56'=34", "DAC?FF", "DAC=BE", "GR 56'=30"}));

    sim.set(Reg::port(0x3C6), 0x00);
    TurnOnOffRAMDAC(0);
    EXPECT_EQ(sim.get(Reg::port(0x3C6)), 0x41);
    sim.set(Reg::port(0x3C6), 0x00);
    TurnOnOffRAMDAC(2);
    EXPECT_EQ(sim.get(Reg::port(0x3C6)), 0x41);
    EXPECT_EQ(sim.get(Reg::gr(0x56)), 0x30);
}

} // namespace
