// The device checks against fake sysfs trees: every verdict, and the message
// that goes with it.
#include "device_check.h"
#include "fake_sysfs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fake_sysfs::FakeDevice;
using fake_sysfs::FakeSysfs;
using fake_sysfs::kDisplay;
using fake_sysfs::kSecondDisplay;
using kova::device::BootDevice;
using kova::device::Verdict;

TEST(DeviceCheck, VerdictsBeforeThePortAccess) {
    FakeDevice usb = kDisplay;
    usb.pci_class = "0x0c0330";
    FakeDevice small = kDisplay;
    small.resources = {"0x00000000e0000000 0x00000000e07fffff 0x0000000000042208",
                       "0x00000000f0000000 0x00000000f0ffffff 0x0000000000040101"}; // 16 MiB, but I/O
    FakeDevice unmarked = kDisplay;
    unmarked.boot_vga = "";
    struct Case {
        const char *what;
        std::vector<FakeDevice> devices;
        Verdict verdict;
        const char *message;
    };
    const Case cases[] = {
        {"good", {kSecondDisplay, kDisplay}, Verdict::Ok, "0000:01:00.0 passed"},
        {"no display device",
         {usb},
         Verdict::NotDisplay,
         "the boot VGA device 0000:01:00.0 has class 0x0c0330, not a display controller (0x03xxxx)"},
        {"no boot_vga", {kSecondDisplay, unmarked}, Verdict::NoBootVga, "is marked boot_vga"},
        {"no devices", {}, Verdict::NoBootVga, "is marked boot_vga"},
        {"BAR too small",
         {small},
         Verdict::BarTooSmall,
         "the display controller 0000:01:00.0 has no memory resource of 9 MiB or more for the aperture"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const FakeSysfs sysfs(c.devices);
        BootDevice device;
        EXPECT_EQ(kova::device::check_boot_display(sysfs.root().c_str(), device), c.verdict);
        char text[512];
        kova::device::describe(c.verdict, device, sysfs.root().c_str(), 0, 0, text, sizeof text);
        EXPECT_NE(std::string(text).find(c.message), std::string::npos) << text;
    }
}

TEST(DeviceCheck, MissingSysfsNamesTheDirectoryAndTheWayOut) {
    BootDevice device;
    EXPECT_EQ(kova::device::check_boot_display("/nonexistent-sysfs", device), Verdict::NoSysfs);
    char text[512];
    kova::device::describe(Verdict::NoSysfs, device, "/nonexistent-sysfs", 0, 0, text, sizeof text);
    EXPECT_EQ(std::string(text),
              "cannot read /nonexistent-sysfs/bus/pci/devices (No such file or directory): "
              "set KOVA_SKIP_DEVICE_CHECK=1 to go ahead without the device check");
}

TEST(DeviceCheck, MappingsMustLieInsideTheMemoryResources) {
    const FakeSysfs sysfs({kDisplay});
    BootDevice device;
    ASSERT_EQ(kova::device::check_boot_display(sysfs.root().c_str(), device), Verdict::Ok);
    struct Case {
        std::uint64_t physical, length;
        Verdict verdict;
    };
    for (const Case c : {Case{0xE0000000, 0x400000, Verdict::Ok},                        // frame buffer
                         Case{0xE0800000, 0x100000, Verdict::Ok},                        // register window
                         Case{0xE0F00000, 0x100000, Verdict::Ok},                        // last MiB
                         Case{0xE0F00000, 0x100001, Verdict::OutsideResources},          // one byte past
                         Case{0xDFFFFFFF, 0x2, Verdict::OutsideResources},               // one byte before
                         Case{0x0000D000, 0x100, Verdict::OutsideResources},             // the I/O range
                         Case{0xF0000000, 0x400000, Verdict::OutsideResources},          // another aperture
                         Case{0xFFFFFFFFFFFFF000, 0x2000, Verdict::OutsideResources}}) { // wraps
        SCOPED_TRACE(testing::Message() << std::hex << c.physical << " + " << c.length);
        EXPECT_EQ(kova::device::check_mapping(device, c.physical, c.length), c.verdict);
    }
    char text[512];
    kova::device::describe(Verdict::OutsideResources, device, "", 0xF0000000, 0x400000, text, sizeof text);
    EXPECT_EQ(std::string(text),
              "physical range 0xf0000000-0xf03fffff lies outside the memory resources of the "
              "display controller 0000:01:00.0");
}

} // namespace
