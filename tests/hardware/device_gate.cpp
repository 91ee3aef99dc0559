// The hardware flavour's gate in front of the machine, against fake sysfs
// trees: a refused check stops every port access and the memory device, and a
// mapping outside the controller's memory never reaches mmap.  Only refusals
// and mmap on a closed descriptor are exercised: nothing here touches a port
// or physical memory.
#include "fake_sysfs.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

using kova::platform::DeviceGate;

class DeviceGateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kova::platform::device_gate = DeviceGate::Unchecked;
        unsetenv("KOVA_SKIP_DEVICE_CHECK");
    }
    void TearDown() override { unsetenv("KOVA_SYSFS_ROOT"); }

    // mmap on a descriptor that is not open: EBADF proves the call got through.
    static int map_errno(std::uint32_t physical, std::uint32_t length) {
        errno = 0;
        EXPECT_EQ(kova::platform::mem_map(-1, physical, length), MAP_FAILED);
        return errno;
    }
};

TEST_F(DeviceGateTest, RefusedCheckStopsPortsAndTheMemoryDevice) {
    const fake_sysfs::FakeSysfs sysfs({fake_sysfs::kSecondDisplay}); // no boot VGA device
    setenv("KOVA_SYSFS_ROOT", sysfs.root().c_str(), 1);
    testing::internal::CaptureStderr();
    kova::platform::port_out8(0x3CE, 0x33); // would fault without the I/O privilege
    EXPECT_EQ(kova::platform::port_in8(0x3CF), 0xFF);
    errno = 0;
    EXPECT_EQ(kova::platform::mem_open(), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(map_errno(0xE0000000, 0x400000), ENXIO);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, std::string(program_invocation_short_name) + ": device check: no PCI device under " +
                       sysfs.root() +
                       "/bus/pci/devices is marked boot_vga: no display controller decodes the "
                       "VGA ports\n"); // said once
}

TEST_F(DeviceGateTest, MappingsOutsideTheControllerNeverReachMmap) {
    const fake_sysfs::FakeSysfs sysfs({fake_sysfs::kDisplay});
    setenv("KOVA_SYSFS_ROOT", sysfs.root().c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(kova::platform::device_ready());
    EXPECT_EQ(map_errno(0xE0000000, 0x400000), EBADF);
    EXPECT_EQ(map_errno(0xE0800000, 0x100000), EBADF);
    EXPECT_EQ(map_errno(0x00000000, 0x400000), ENXIO);
    EXPECT_EQ(map_errno(0xE0F00000, 0x200000), ENXIO);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("device check: physical range 0x0-0x3fffff lies outside"), std::string::npos) << err;
    EXPECT_NE(err.find("physical range 0xe0f00000-0xe10fffff lies outside"), std::string::npos) << err;
}

TEST_F(DeviceGateTest, SkippingWarnsAndLetsEverythingThrough) {
    setenv("KOVA_SYSFS_ROOT", "/nonexistent-sysfs", 1);
    setenv("KOVA_SKIP_DEVICE_CHECK", "1", 1);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(kova::platform::device_ready());
    EXPECT_EQ(map_errno(0x00000000, 0x400000), EBADF);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "warning: KOVA_SKIP_DEVICE_CHECK=1: the display controller is not checked"),
              std::string::npos);

    kova::platform::device_gate = DeviceGate::Unchecked; // any other value does not skip
    setenv("KOVA_SKIP_DEVICE_CHECK", "yes", 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kova::platform::device_ready());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot read /nonexistent-sysfs/bus/pci/devices"),
              std::string::npos);
}

} // namespace
