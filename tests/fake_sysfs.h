// A fake sysfs tree of PCI devices for the device checks, written by the one
// writer kovarun uses too (tool/common/sysfs_tree.h).
#pragma once

#include "../tool/common/sysfs_tree.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fake_sysfs {

namespace fs = std::filesystem;

using FakeDevice = kova::tool::PciDevice;

// A sysfs tree in a fresh temporary directory, removed at the end of the test.
class FakeSysfs {
  public:
    explicit FakeSysfs(const std::vector<FakeDevice> &devices) {
        char pattern[] = "/tmp/kova-sysfs-XXXXXX";
        root_ = mkdtemp(pattern);
        kova::tool::write_sysfs_tree(root_, devices);
    }
    ~FakeSysfs() { fs::remove_all(root_); }
    FakeSysfs(const FakeSysfs &) = delete;
    FakeSysfs &operator=(const FakeSysfs &) = delete;
    std::string root() const { return root_.string(); }

  private:
    fs::path root_;
};

// A display controller at 0xE0000000 with a 16 MiB memory resource and an I/O range.
inline const FakeDevice kDisplay = kova::tool::display_controller(0xE0000000);
// Another display-class device that does not decode the VGA ports.
inline const FakeDevice kSecondDisplay{"0000:02:00.0", "0", "0x030000", {kDisplay.resources[0]}};

} // namespace fake_sysfs
