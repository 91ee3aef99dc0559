// The simulated controller itself where its behaviour is subtle: paging, the
// raster, multi-byte accesses to the TV region, read scripts.
#include "misc.h"
#include "sim_fixture.h"

namespace {

using kova::reg::Pager;
using kova::registers::Reg;
using kova::sim::RegFile;

class Simulator : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        map();
    }
};

TEST_F(Simulator, DefaultStateDescribesA1024x768ScreenAt16Bits) {
    EXPECT_EQ(sim.get(Reg::cr(0x01)), 0x7F);
    EXPECT_EQ(sim.get(Reg::cr(0x07)), 0x40);
    EXPECT_EQ(sim.get(Reg::cr(0x12)), 0xFF);
    EXPECT_EQ(sim.get(Reg::gr(0x77)), 0x02);
    EXPECT_EQ(sim.get(Reg::gr(0x72)), 0x02);
    EXPECT_EQ(sim.get(Reg::gr(0x91)), 0x10);
    EXPECT_EQ(sim.get(Reg::gr(0x92)), 0x09);
    EXPECT_EQ(sim.get(Reg::gr(0xE5, 0x00)), 0x02);
    EXPECT_EQ(sim.get(Reg::gr(0xE5, 0x80)), 0x00);
}

TEST_F(Simulator, PagedRegistersFollowTheirPageRegister) {
    Out_Video_Reg(0xFA, 0x00);
    Out_Video_Reg(0xE5, 0x11);
    Out_Video_Reg(0xFA, 0x80);
    Out_Video_Reg(0xE5, 0x22);
    Out_SEQ_Reg(0x4F, 0x33); // SR 4F pages by GR FA too
    Out_Video_Reg(0xBF, 0x02);
    Out_Video_Reg(0xBA, 0x44);
    Out_Video_Reg(0xBF, 0x40);
    Out_Video_Reg(0xBA, 0x55);
    EXPECT_EQ(sim.get(Reg::gr(0xE5, 0x00)), 0x11);
    EXPECT_EQ(sim.get(Reg::gr(0xE5, 0x80)), 0x22);
    EXPECT_EQ(sim.get(Reg::sr(0x4F, 0x80)), 0x33);
    EXPECT_EQ(sim.get(Reg::sr(0x4F, 0x00)), 0x00);
    EXPECT_EQ(sim.get(Reg::gr(0xBA, 0x02)), 0x44);
    EXPECT_EQ(sim.get(Reg::gr(0xBA, 0x40)), 0x55);
    // Unpaged registers are one register in every page; the pagers themselves are unpaged.
    Out_Video_Reg(0x50, 0x66);
    Out_Video_Reg(0xFA, 0x03);
    EXPECT_EQ(ReadReg(0x3CE, 0x50), 0x66);
    EXPECT_EQ(ReadReg(0x3CE, 0xE5), 0x00);
    EXPECT_EQ(sim.page_fa(), 0x03);
    EXPECT_EQ(sim.page_bf(), 0x40);
}

TEST_F(Simulator, PagedRegisterList) {
    for (int index = 0; index < 256; ++index) {
        const auto i = static_cast<std::uint8_t>(index);
        const bool fa = i == 0x41 || i == 0x42 || i == 0x43 || i == 0x4E || (i >= 0x60 && i <= 0x6F) ||
                        i == 0xE0 || i == 0xE3 || i == 0xE5 || i == 0xE7 || i == 0xE9 ||
                        (i >= 0xEA && i <= 0xEE);
        const bool bf = i == 0xB1 || i == 0xBA || i == 0xBB || i == 0xBE;
        EXPECT_EQ(kova::registers::pager_of(RegFile::GR, i), fa   ? Pager::GrFA
                                                             : bf ? Pager::GrBF
                                                                  : Pager::None)
            << index;
        EXPECT_EQ(kova::registers::pager_of(RegFile::SR, i), i == 0x4F ? Pager::GrFA : Pager::None) << index;
        EXPECT_EQ(kova::registers::pager_of(RegFile::CR, i), Pager::None) << index;
    }
}

TEST_F(Simulator, InputStatusFollowsTheRaster) {
    // f = t mod 8 after the read's own tick: retrace for f >= 6, blanking for odd f or f >= 6.
    std::string seen;
    for (int i = 0; i < 16; ++i) {
        const unsigned char status = kovainp(0x3DA);
        seen += static_cast<char>('0' + (status & 0x09));
    }
    EXPECT_EQ(seen, "1010199010101990");
    EXPECT_EQ(sim.raster_time(), 16u);
}

TEST_F(Simulator, InputStatusKeepsItsOtherStoredBits) {
    sim.set(Reg::port(0x3DA), 0xF6);
    sim.set_raster_time(5); // next read: f = 6
    EXPECT_EQ(kovainp(0x3DA), 0xFF);
    sim.set_raster_time(1); // next read: f = 2
    EXPECT_EQ(kovainp(0x3DA), 0xF6);
}

TEST_F(Simulator, CaptureStatusRetraceBitOnlyInPage3) {
    sim.set(Reg::gr(0x43, 0x03), 0x15);
    Out_Video_Reg(0xFA, 0x03);
    std::string seen;
    for (int i = 0; i < 8; ++i)
        seen += ReadReg(0x3CE, 0x43) == 0x95 ? 'R' : '.';
    EXPECT_EQ(seen, ".....RR.");
    EXPECT_EQ(sim.raster_time(), 8u);

    Out_Video_Reg(0xFA, 0x00); // GR 43 in another page neither ticks nor shows retrace
    sim.set(Reg::gr(0x43, 0x00), 0x01);
    EXPECT_EQ(ReadReg(0x3CE, 0x43), 0x01);
    EXPECT_EQ(sim.raster_time(), 8u);
}

TEST_F(Simulator, RasterTicksOnDirectPortReadsToo) {
    asm_inp(0x3DA);
    asm_inp(0x3DA);
    EXPECT_EQ(sim.raster_time(), 2u);
}

TEST_F(Simulator, MultiByteAccessesToTheTvRegionAreLittleEndianBytes) {
    WriteAudioRegD(0x1000, 0xA1B2C3D4);
    EXPECT_EQ(ReadAudioRegB(0x1000), 0xD4);
    EXPECT_EQ(ReadAudioRegB(0x1003), 0xA1);
    EXPECT_EQ(ReadTVReg(0x1001), 0xB2C3); // unaligned 16-bit read across the 32-bit store
    WriteTVReg(0x1002, 0x0F0E);
    EXPECT_EQ(ReadAudioRegD(0x1000), 0x0F0EC3D4u);
}

TEST_F(Simulator, SixteenBitReadAtAnIndexPortReturnsIndexAndData) {
    Out_CRT_Reg(0x12, 0xFF);
    EXPECT_EQ(kovainpw(0x3D4), 0xFF12);
}

TEST_F(Simulator, ScriptedReadsThenNormalValue) {
    sim.set(Reg::gr(0x92), 0xF3);
    sim.script_reads(Reg::gr(0x92), {0x00});
    EXPECT_EQ(ReadReg(0x3CE, 0x92), 0x00);
    EXPECT_EQ(ReadReg(0x3CE, 0x92), 0xF3);
    EXPECT_EQ(ReadReg(0x3CE, 0x92), 0xF3);
}

TEST_F(Simulator, StuckBitsAndBitsAppearingOnTheNthRead) {
    sim.stick_bits(Reg::port(0x3DA), 0x08, 0x00);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(kovainp(0x3DA) & 0x08, 0) << i;

    sim.on_read(Reg::gr(0x43, 0x03), [](std::uint16_t natural, std::uint64_t n) {
        return n >= 3 ? natural | 0x80 : natural & 0x7F;
    });
    Out_Video_Reg(0xFA, 0x03);
    kovaoutp(0x3CE, 0x43);
    EXPECT_EQ(kovainp(0x3CF) & 0x80, 0);
    EXPECT_EQ(kovainp(0x3CF) & 0x80, 0);
    EXPECT_EQ(kovainp(0x3CF) & 0x80, 0x80);
}

TEST_F(Simulator, ScriptsOnPagedRegistersAreScopedToTheirPage) {
    sim.script_reads(Reg::gr(0xE5, 0x80), {0xAA});
    Out_Video_Reg(0xFA, 0x00);
    EXPECT_EQ(ReadReg(0x3CE, 0xE5), 0x02);
    Out_Video_Reg(0xFA, 0x80);
    EXPECT_EQ(ReadReg(0x3CE, 0xE5), 0xAA);
}

TEST_F(Simulator, TvRegisterReadScripts) {
    sim.set_tv(0xE46C, 0x0001);
    sim.script_reads(Reg::tv(0xE46C), {0x0000});
    EXPECT_EQ(ReadTVReg(0xE46C), 0x0000);
    EXPECT_EQ(ReadTVReg(0xE46C), 0x0001);
}

TEST_F(Simulator, TraceRecordsEveryAccessAndCountsThem) {
    EXPECT_EQ(sim.access_count(),
              5u); // the mapping's port accesses; iopl, open and mmap are no register accesses
    kovaoutp(0x3C6, 0xFF);
    kovainp(0x3CC);
    EXPECT_EQ(sim.access_count(), 7u);
    EXPECT_EQ(sim.trace_text(), "w8 003C6 FF\nr8 003CC 00\n");
    sim.set_recording(false);
    kovaoutp(0x3C6, 0x00);
    EXPECT_EQ(sim.trace().size(), 2u);
    EXPECT_EQ(sim.access_count(), 8u);
}

TEST_F(Simulator, ResetRestoresThePowerOnState) {
    Out_Video_Reg(0x77, 0x03);
    dwLINEAR_BASE[100] = 0x42;
    kovainp(0x3DA);
    sim.reset();
    EXPECT_EQ(sim.get(Reg::gr(0x77)), 0x02);
    EXPECT_EQ(sim.video_memory()[100], 0x00);
    EXPECT_EQ(sim.raster_time(), 0u);
    EXPECT_TRUE(sim.trace().empty());
    EXPECT_EQ(sim.access_count(), 0u);
}

// Video memory costs nothing until touched and a reset hands it back; a copy
// of the controller (a dry run's) holds the same bytes and the original's
// memory stays where the program's pointers point.
TEST_F(Simulator, VideoMemoryIsZeroPagesUntilTouched) {
    EXPECT_EQ(video_pages_in_use(sim), 0u);
    dwLINEAR_BASE[100] = 0x42;
    dwLINEAR_BASE[kova::sim::Controller::kVideoMemorySize - 1] = 0x43;
    EXPECT_EQ(video_pages_in_use(sim), 2u);
    const kova::sim::Controller copy = sim;
    EXPECT_EQ(copy.video_memory()[100], 0x42);
    EXPECT_EQ(copy.video_memory()[kova::sim::Controller::kVideoMemorySize - 1], 0x43);
    EXPECT_EQ(video_pages_in_use(copy), 2u);
    sim.reset();
    EXPECT_EQ(video_pages_in_use(sim), 0u);
    EXPECT_EQ(sim.video_memory()[100], 0x00);
    sim = copy;
    EXPECT_EQ(sim.video_memory(), reinterpret_cast<std::uint8_t *>(pFB));
    EXPECT_EQ(dwLINEAR_BASE[100], 0x42);
}

using SimulatorDeath = SimTest;

TEST_F(SimulatorDeath, AccessBeforeMappingIsReportedNotSilentlyAccepted) {
    EXPECT_DEATH(kovaoutp(0x3C6, 0), "outside the mapped register window");
}

} // namespace
