// The platform layer: the only code that touches the machine.
//
// Register-window loads and stores, x86 port I/O with the I/O privilege
// request, and the memory device.  The library is built twice from the same
// sources:
//   - hardware flavour: every window access is one volatile access of exactly
//     the stated width, inlined into the caller with no indirection;
//   - simulated flavour (KOVA_SIMULATED): every call goes to the simulated
//     controller, which records it in its trace.
// The hardware flavour checks the machine before it touches it: the first port
// access or opening of the memory device waits for the device check, and every
// mapping must lie inside the checked controller's memory resources.
#pragma once

#include <cstdint>
#include <sys/types.h>

#if !defined(KOVA_SIMULATED)
#include "device_check.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#define KOVA_HAVE_PORT_IO 1
#else
#define KOVA_HAVE_PORT_IO 0
#endif
#endif

namespace kova::platform {

#if defined(KOVA_SIMULATED)

void store8(std::uint8_t *addr, std::uint8_t value);
void store16(std::uint8_t *addr, std::uint16_t value);
void store32(std::uint8_t *addr, std::uint32_t value);
std::uint8_t load8(const std::uint8_t *addr);
std::uint16_t load16(const std::uint8_t *addr);
std::uint32_t load32(const std::uint8_t *addr);

int request_io_privilege();
void port_out8(std::uint16_t port, std::uint8_t value);
std::uint8_t port_in8(std::uint16_t port);

int mem_open();
void *mem_map(int fd, std::uint32_t physical, std::uint32_t length);
void mem_close(int fd);

#else

inline void store8(std::uint8_t *addr, std::uint8_t value) {
    *reinterpret_cast<volatile std::uint8_t *>(addr) = value;
}
inline void store16(std::uint8_t *addr, std::uint16_t value) {
    *reinterpret_cast<volatile std::uint16_t *>(addr) = value;
}
inline void store32(std::uint8_t *addr, std::uint32_t value) {
    *reinterpret_cast<volatile std::uint32_t *>(addr) = value;
}
inline std::uint8_t load8(const std::uint8_t *addr) {
    return *reinterpret_cast<const volatile std::uint8_t *>(addr);
}
inline std::uint16_t load16(const std::uint8_t *addr) {
    return *reinterpret_cast<const volatile std::uint16_t *>(addr);
}
inline std::uint32_t load32(const std::uint8_t *addr) {
    return *reinterpret_cast<const volatile std::uint32_t *>(addr);
}

// Each object module carries its own copy of these, so that portmem.o,
// physmap.o and synclock.o link into C programs with no other support object.

// ---- Device check (once per process; the verdict is shared by all modules) ----
enum class DeviceGate { Unchecked, Passed, Refused, Skipped };
inline DeviceGate device_gate = DeviceGate::Unchecked;
inline device::BootDevice checked_device{};

// $KOVA_SYSFS_ROOT, else /sys.
inline const char *sysfs_root() {
    const char *root = std::getenv("KOVA_SYSFS_ROOT");
    return root != nullptr && *root != '\0' ? root : "/sys";
}

inline void device_check_message(device::Verdict verdict, std::uint64_t physical, std::uint64_t length) {
    char text[512];
    device::describe(verdict, checked_device, sysfs_root(), physical, length, text, sizeof text);
    std::fprintf(stderr, "%s: device check: %s\n", program_invocation_short_name, text);
}

// True once the boot VGA device has passed the check (or the check is skipped
// with KOVA_SKIP_DEVICE_CHECK=1); a refusal is said once on standard error.
inline bool device_ready() {
    if (device_gate == DeviceGate::Unchecked) {
        const char *skip = std::getenv("KOVA_SKIP_DEVICE_CHECK");
        if (skip != nullptr && std::strcmp(skip, "1") == 0) {
            std::fprintf(stderr,
                         "%s: warning: KOVA_SKIP_DEVICE_CHECK=1: the display controller is not checked\n",
                         program_invocation_short_name);
            device_gate = DeviceGate::Skipped;
        } else {
            const device::Verdict verdict = device::check_boot_display(sysfs_root(), checked_device);
            if (verdict != device::Verdict::Ok) device_check_message(verdict, 0, 0);
            device_gate = verdict == device::Verdict::Ok ? DeviceGate::Passed : DeviceGate::Refused;
        }
    }
    return device_gate != DeviceGate::Refused;
}

inline bool mapping_allowed(std::uint64_t physical, std::uint64_t length) {
    if (!device_ready()) return false;
    if (device_gate == DeviceGate::Skipped) return true;
    const device::Verdict verdict = device::check_mapping(checked_device, physical, length);
    if (verdict != device::Verdict::Ok) device_check_message(verdict, physical, length);
    return verdict == device::Verdict::Ok;
}

inline int request_io_privilege() {
#if KOVA_HAVE_PORT_IO
    return iopl(3);
#else
    errno = ENOSYS;
    return -1;
#endif
}

// Without x86 port I/O the privilege request above always fails; a port
// access then does nothing and reads as a floating bus (all ones).  So does a
// port access on a machine that failed the device check.
inline void port_out8(std::uint16_t port, std::uint8_t value) {
    if (!device_ready()) return;
#if KOVA_HAVE_PORT_IO
    __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(port));
#else
    (void)port;
    (void)value;
#endif
}

inline std::uint8_t port_in8(std::uint16_t port) {
    if (!device_ready()) return 0xFF;
#if KOVA_HAVE_PORT_IO
    std::uint8_t value;
    __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(port));
    return value;
#else
    (void)port;
    return 0xFF;
#endif
}

inline int mem_open() {
    if (!device_ready()) {
        errno = ENODEV;
        return -1;
    }
    return open("/dev/mem", O_RDWR);
}

// off_t is 64 bits wide on every target (_FILE_OFFSET_BITS=64), so an
// aperture at or above 2 GiB maps at its true physical address.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");
inline void *mem_map(int fd, std::uint32_t physical, std::uint32_t length) {
    if (!mapping_allowed(physical, length)) {
        errno = ENXIO;
        return MAP_FAILED;
    }
    return mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(physical));
}

inline void mem_close(int fd) {
    close(fd);
}

#endif

} // namespace kova::platform
