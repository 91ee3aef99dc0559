// A fake sysfs tree of PCI devices for the device checks.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fake_sysfs {

namespace fs = std::filesystem;

inline constexpr const char *kNoResource = "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";

struct FakeDevice {
    std::string name, boot_vga, pci_class;
    std::vector<std::string> resources; // "start end flags" lines
};

// A sysfs tree in a fresh temporary directory, removed at the end of the test.
class FakeSysfs {
  public:
    explicit FakeSysfs(const std::vector<FakeDevice> &devices) {
        char pattern[] = "/tmp/kova-sysfs-XXXXXX";
        root_ = mkdtemp(pattern);
        fs::create_directories(root_ / "bus/pci/devices");
        for (const FakeDevice &d : devices) {
            const fs::path dir = root_ / "bus/pci/devices" / d.name;
            fs::create_directories(dir);
            if (!d.boot_vga.empty()) std::ofstream(dir / "boot_vga") << d.boot_vga << "\n";
            std::ofstream(dir / "class") << d.pci_class << "\n";
            std::ofstream resource(dir / "resource");
            for (const std::string &line : d.resources)
                resource << line << "\n";
            resource << kNoResource;
        }
    }
    ~FakeSysfs() { fs::remove_all(root_); }
    std::string root() const { return root_.string(); }

  private:
    fs::path root_;
};

// A display controller at 0xE0000000 with a 16 MiB memory resource and an I/O range.
inline const FakeDevice kDisplay{"0000:01:00.0",
                                 "1",
                                 "0x030000",
                                 {"0x00000000e0000000 0x00000000e0ffffff 0x0000000000042208",
                                  "0x000000000000d000 0x000000000000d0ff 0x0000000000040101"}};
// Another display-class device that does not decode the VGA ports.
inline const FakeDevice kSecondDisplay{"0000:02:00.0", "0", "0x030000", {kDisplay.resources[0]}};

} // namespace fake_sysfs
