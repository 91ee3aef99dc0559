// The device checks of the hardware flavour: before the first port access the
// PCI device that decodes the legacy VGA ports (sysfs marks it boot_vga) must
// be a display controller with a memory resource that can hold the aperture,
// and before each mapping the physical range must lie inside that device's
// memory resources.  Only the device class and address ranges count.
//
// Header only, on the C library alone, so that every object module that
// touches the machine carries its own copy (as with the rest of the hardware
// flavour) and tests can run the checks against fake sysfs trees.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "aperture.h"

namespace kova::device {

// The aperture, up to the end of the register window.
inline constexpr std::uint64_t kApertureSpan = decode::kApertureSpan;

inline constexpr std::uint32_t kDisplayClass = 0x03;         // PCI base class, bits 23-16
inline constexpr std::uint64_t kResourceMemory = 0x00000200; // sysfs resource flag of a memory range

enum class Verdict { Ok, NoSysfs, NoBootVga, NotDisplay, BarTooSmall, OutsideResources };

struct Range {
    std::uint64_t start, end; // inclusive, as sysfs lists them
};

struct BootDevice {
    char name[256];          // the sysfs entry, e.g. "0000:01:00.0"
    std::uint32_t pci_class; // e.g. 0x030000
    Range memory[16];
    unsigned memory_count;
    int error; // errno of a failed sysfs read
};

// Reads a small sysfs attribute into text (NUL-terminated).  False when it
// cannot be read.
inline bool read_attribute(const char *path, char *text, std::size_t size) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t used = 0;
    while (used + 1 < size) {
        const ssize_t got = read(fd, text + used, size - 1 - used);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        used += static_cast<std::size_t>(got);
    }
    close(fd);
    text[used] = '\0';
    return true;
}

// The memory ranges of a sysfs resource file: one "start end flags" line per
// resource, unused ones all zero.
inline void parse_resources(const char *text, BootDevice &device) {
    device.memory_count = 0;
    const char *line = text;
    while (*line != '\0' && device.memory_count < sizeof device.memory / sizeof device.memory[0]) {
        char *next = nullptr;
        const std::uint64_t start = std::strtoull(line, &next, 16);
        const std::uint64_t end = std::strtoull(next, &next, 16);
        const std::uint64_t flags = std::strtoull(next, &next, 16);
        if ((flags & kResourceMemory) != 0 && end > start)
            device.memory[device.memory_count++] = {start, end};
        const char *newline = std::strchr(next, '\n');
        if (newline == nullptr) break;
        line = newline + 1;
    }
}

inline std::uint64_t largest_memory_range(const BootDevice &device) {
    std::uint64_t largest = 0;
    for (unsigned i = 0; i < device.memory_count; ++i) {
        const std::uint64_t length = device.memory[i].end - device.memory[i].start + 1;
        if (length > largest) largest = length;
    }
    return largest;
}

// True when [physical, physical + length) lies inside one memory range.
inline bool range_inside(const BootDevice &device, std::uint64_t physical, std::uint64_t length) {
    if (length == 0 || physical + length < physical) return false;
    for (unsigned i = 0; i < device.memory_count; ++i)
        if (physical >= device.memory[i].start && physical + length - 1 <= device.memory[i].end) return true;
    return false;
}

// Finds the boot VGA device under ROOT/bus/pci/devices and reads its class
// and memory resources.
inline Verdict find_boot_vga(const char *sysfs_root, BootDevice &device) {
    device = BootDevice{};
    char path[512];
    std::snprintf(path, sizeof path, "%s/bus/pci/devices", sysfs_root);
    DIR *dir = opendir(path);
    if (dir == nullptr) {
        device.error = errno;
        return Verdict::NoSysfs;
    }
    Verdict verdict = Verdict::NoBootVga;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        char text[2048];
        std::snprintf(path, sizeof path, "%s/bus/pci/devices/%s/boot_vga", sysfs_root, entry->d_name);
        if (!read_attribute(path, text, sizeof text) || std::strtoul(text, nullptr, 10) != 1) continue;

        std::snprintf(device.name, sizeof device.name, "%s", entry->d_name);
        std::snprintf(path, sizeof path, "%s/bus/pci/devices/%s/class", sysfs_root, entry->d_name);
        if (read_attribute(path, text, sizeof text))
            device.pci_class = static_cast<std::uint32_t>(std::strtoul(text, nullptr, 16));
        std::snprintf(path, sizeof path, "%s/bus/pci/devices/%s/resource", sysfs_root, entry->d_name);
        if (read_attribute(path, text, sizeof text)) parse_resources(text, device);
        verdict = Verdict::Ok;
        break;
    }
    closedir(dir);
    return verdict;
}

// Before the first port access: the boot VGA device is a display controller
// with a memory resource large enough for the whole aperture.
inline Verdict check_boot_display(const char *sysfs_root, BootDevice &device) {
    const Verdict found = find_boot_vga(sysfs_root, device);
    if (found != Verdict::Ok) return found;
    if (device.pci_class >> 16 != kDisplayClass) return Verdict::NotDisplay;
    if (largest_memory_range(device) < kApertureSpan) return Verdict::BarTooSmall;
    return Verdict::Ok;
}

// Before a mapping: the range lies inside the checked device's memory resources.
inline Verdict check_mapping(const BootDevice &device, std::uint64_t physical, std::uint64_t length) {
    return range_inside(device, physical, length) ? Verdict::Ok : Verdict::OutsideResources;
}

// The way past a missing tree.  Under kovarun (KOVARUN=1 in the
// environment), which keeps KOVA_SKIP_DEVICE_CHECK from the program, the
// variable is set for the program through env(1), or the tree named.
inline const char *skip_advice() {
    const char *runner = std::getenv("KOVARUN");
    if (runner != nullptr && std::strcmp(runner, "1") == 0)
        return "name a readable tree with kovarun --sysfs, or run the program as "
               "'env KOVA_SKIP_DEVICE_CHECK=1 PROGRAM' to go ahead without the device check";
    return "set KOVA_SKIP_DEVICE_CHECK=1 to go ahead without the device check";
}

// One line (without newline) that says what a failed check found.
inline void describe(Verdict verdict, const BootDevice &device, const char *sysfs_root,
                     std::uint64_t physical, std::uint64_t length, char *text, std::size_t size) {
    switch (verdict) {
    case Verdict::Ok:
        std::snprintf(text, size, "the display controller %s passed the device check", device.name);
        break;
    case Verdict::NoSysfs:
        std::snprintf(text, size, "cannot read %s/bus/pci/devices (%s): %s", sysfs_root,
                      std::strerror(device.error), skip_advice());
        break;
    case Verdict::NoBootVga:
        std::snprintf(text, size,
                      "no PCI device under %s/bus/pci/devices is marked boot_vga: no display "
                      "controller decodes the VGA ports",
                      sysfs_root);
        break;
    case Verdict::NotDisplay:
        std::snprintf(text, size,
                      "the boot VGA device %s has class 0x%06x, not a display controller (0x03xxxx)",
                      device.name, device.pci_class);
        break;
    case Verdict::BarTooSmall:
        std::snprintf(text, size,
                      "the display controller %s has no memory resource of %llu MiB or more for the aperture",
                      device.name, static_cast<unsigned long long>(kApertureSpan >> 20));
        break;
    case Verdict::OutsideResources:
        std::snprintf(text, size,
                      "physical range 0x%llx-0x%llx lies outside the memory resources of the display "
                      "controller %s",
                      static_cast<unsigned long long>(physical),
                      static_cast<unsigned long long>(physical + length - 1), device.name);
        break;
    }
}

} // namespace kova::device
