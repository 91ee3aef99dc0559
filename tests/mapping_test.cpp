// Aperture control and the mapping of frame buffer and register window.
#include "sim_fixture.h"

#include <sys/mman.h>

namespace {

using kova::registers::Failure;
using kova::registers::Reg;

using Mapping = SimTest;

const Lines kEnableAperture = {"iopl 3", "out8 03CE 33", "iopl 3", "in8 03CF 00", "iopl 3", "out8 03CF 01"};

Lines with(Lines head, const Lines &tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST_F(Mapping, MapsFrameBufferAndWindowAtTheApertureBase) {
    testing::internal::CaptureStdout();
    ASSERT_EQ(MapKOVAMemory(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(trace(), with(kEnableAperture, {"open /dev/mem", "out8 03CE 35", "in8 03CF E0",
                                              "mmap E0000000 400000", "mmap E0800000 100000", "close"}));
    EXPECT_EQ(dwLINEAR_BASE, sim.video_memory());
    EXPECT_EQ(dwMEM_IO_BASE, sim.window_base());
    EXPECT_EQ(pFB, static_cast<void *>(sim.video_memory()));
    EXPECT_EQ(pMMIO, static_cast<void *>(sim.window_base()));
    EXPECT_EQ(sim.get(Reg::gr(0x33)) & 0x01, 0x01);
}

TEST_F(Mapping, ApertureAboveTwoGiBMapsAtItsTrueAddress) {
    for (const unsigned base : {0x80u, 0xFFu}) {
        sim.reset();
        sim.set(Reg::gr(0x35), static_cast<std::uint8_t>(base));
        ASSERT_EQ(MapPhysicalToLinear(), 0) << std::hex << base;
        char fb[32], mmio[32];
        std::snprintf(fb, sizeof fb, "mmap %02X000000 400000", base);
        std::snprintf(mmio, sizeof mmio, "mmap %02X800000 100000", base);
        EXPECT_EQ(trace(), (Lines{"open /dev/mem", "out8 03CE 35", "in8 03CF " + std::string(fb + 5, 2), fb,
                                  mmio, "close"}));
    }
}

TEST_F(Mapping, OpenFailureMakesNoPortAccess) {
    sim.fail(Failure::OpenMem);
    testing::internal::CaptureStdout();
    EXPECT_EQ(MapPhysicalToLinear(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Opening mem device failed!\n");
    EXPECT_EQ(trace(), (Lines{"open /dev/mem FAIL"}));
    EXPECT_EQ(dwMEM_IO_BASE, nullptr);
    EXPECT_EQ(dwLINEAR_BASE, nullptr);
}

TEST_F(Mapping, OpenFailureThroughMapKovaMemoryHasSwitchedTheApertureOn) {
    sim.fail(Failure::OpenMem);
    testing::internal::CaptureStdout();
    EXPECT_EQ(MapKOVAMemory(), -1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(trace(), with(kEnableAperture, {"open /dev/mem FAIL"}));
    EXPECT_EQ(sim.get(Reg::gr(0x33)), 0x01);
}

TEST_F(Mapping, FrameBufferFailureClosesTheDevice) {
    sim.fail(Failure::MapFrameBuffer);
    testing::internal::CaptureStdout();
    EXPECT_EQ(MapPhysicalToLinear(), -2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Mapping linear frame buffer failed!\n");
    EXPECT_EQ(trace(),
              (Lines{"open /dev/mem", "out8 03CE 35", "in8 03CF E0", "mmap E0000000 400000 FAIL", "close"}));
    EXPECT_EQ(pFB, MAP_FAILED);
    EXPECT_EQ(dwMEM_IO_BASE, nullptr);
    EXPECT_EQ(dwLINEAR_BASE, nullptr);
}

TEST_F(Mapping, WindowFailureKeepsTheFrameBufferMapping) {
    sim.fail(Failure::MapRegisterWindow);
    testing::internal::CaptureStdout();
    EXPECT_EQ(MapPhysicalToLinear(), -3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Mapping MMIO failed!\n");
    EXPECT_EQ(trace(), (Lines{"open /dev/mem", "out8 03CE 35", "in8 03CF E0", "mmap E0000000 400000",
                              "mmap E0800000 100000 FAIL", "close"}));
    EXPECT_EQ(pFB, static_cast<void *>(sim.video_memory()));
    EXPECT_EQ(pMMIO, MAP_FAILED);
    EXPECT_EQ(dwMEM_IO_BASE, nullptr);
    EXPECT_EQ(dwLINEAR_BASE, nullptr);
}

TEST_F(Mapping, ZeroApertureBaseIsNeverMapped) {
    sim.set(Reg::gr(0x35), 0x00);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(MapPhysicalToLinear(), -2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Mapping linear frame buffer failed!\n");
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(trace(), (Lines{"open /dev/mem", "out8 03CE 35", "in8 03CF 00", "close"}));
    EXPECT_EQ(dwLINEAR_BASE, nullptr);
}

TEST_F(Mapping, ApertureEnableAndDisableTouchOnlyBitZero) {
    sim.set(Reg::gr(0x33), 0x06);
    EnableLinearAddr();
    EXPECT_EQ(sim.get(Reg::gr(0x33)), 0x07);
    DisableLinearAddr();
    EXPECT_EQ(sim.get(Reg::gr(0x33)), 0x06);
    EXPECT_EQ(trace(), (Lines{"iopl 3", "out8 03CE 33", "iopl 3", "in8 03CF 06", "iopl 3", "out8 03CF 07",
                              "iopl 3", "out8 03CE 33", "iopl 3", "in8 03CF 07", "iopl 3", "out8 03CF 06"}));
}

TEST_F(Mapping, ChipPhysicalAddressIsGr35ShiftedUp) {
    EXPECT_EQ(GetChipPhysAddr(), 0xE0000000u);
    sim.set(Reg::gr(0x35), 0x9C);
    EXPECT_EQ(GetChipPhysAddr(), 0x9C000000u);
}

} // namespace
