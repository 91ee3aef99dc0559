// The device-check tree of a machine without the machine: a sysfs directory
// (KOVA_SYSFS_ROOT) with PCI devices in it, as the hardware flavour's device
// check reads it.  kovarun gives one to the program it runs, and the tests
// describe their machines with it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace kova::tool {

struct PciDevice {
    std::string name;     // its directory: "0000:01:00.0"
    std::string boot_vga; // "1", "0", or "" for no boot_vga file
    std::string pci_class;
    std::vector<std::string> resources; // "start end flags" lines
};

// The length of the memory resource of the display controller described here.
inline constexpr std::uint64_t kSysfsMemoryLength = 0x1000000;

// One line of a device's resource file.
inline std::string resource_line(std::uint64_t start, std::uint64_t end, std::uint64_t flags) {
    char line[64];
    std::snprintf(line, sizeof line, "0x%016llx 0x%016llx 0x%016llx", static_cast<unsigned long long>(start),
                  static_cast<unsigned long long>(end), static_cast<unsigned long long>(flags));
    return line;
}

// The boot VGA display controller whose memory resource (16 MiB) holds the
// controller's aperture at `aperture_base`, with an I/O range.
inline PciDevice display_controller(std::uint64_t aperture_base) {
    return {.name = "0000:01:00.0",
            .boot_vga = "1",
            .pci_class = "0x030000",
            .resources = {resource_line(aperture_base, aperture_base + kSysfsMemoryLength - 1, 0x42208),
                          resource_line(0xd000, 0xd0ff, 0x40101)}};
}

// Writes the devices under ROOT/bus/pci/devices; false when a part could not
// be written (the device check then says what it misses).
inline bool write_sysfs_tree(const std::filesystem::path &root, const std::vector<PciDevice> &devices) {
    namespace fs = std::filesystem;
    std::error_code failed;
    bool ok = fs::create_directories(root / "bus/pci/devices", failed) || !failed;
    for (const PciDevice &d : devices) {
        const fs::path dir = root / "bus/pci/devices" / d.name;
        ok = (fs::create_directories(dir, failed) || !failed) && ok;
        if (!d.boot_vga.empty())
            ok = static_cast<bool>(std::ofstream(dir / "boot_vga") << d.boot_vga << "\n") && ok;
        ok = static_cast<bool>(std::ofstream(dir / "class") << d.pci_class << "\n") && ok;
        std::ofstream resource(dir / "resource");
        for (const std::string &line : d.resources)
            resource << line << "\n";
        resource << resource_line(0, 0, 0) << "\n";
        ok = static_cast<bool>(resource.flush()) && ok;
    }
    return ok;
}

} // namespace kova::tool
