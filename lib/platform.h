// The platform layer: the only code that touches the machine.
//
// Register-window loads and stores, x86 port I/O with the I/O privilege
// request, and the memory device.  The library is built twice from the same
// sources:
//   - hardware flavour: every window access is one volatile access of exactly
//     the stated width, inlined into the caller with no indirection;
//   - simulated flavour (KOVA_SIMULATED): every call goes to the simulated
//     controller, which records it in its trace.
#pragma once

#include <cstdint>
#include <sys/types.h>

#if !defined(KOVA_SIMULATED)
#include <cerrno>
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
inline int request_io_privilege() {
#if KOVA_HAVE_PORT_IO
    return iopl(3);
#else
    errno = ENOSYS;
    return -1;
#endif
}

// Without x86 port I/O the privilege request above always fails; a port
// access then does nothing and reads as a floating bus (all ones).
inline void port_out8(std::uint16_t port, std::uint8_t value) {
#if KOVA_HAVE_PORT_IO
    __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(port));
#else
    (void)port;
    (void)value;
#endif
}

inline std::uint8_t port_in8(std::uint16_t port) {
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
    return open("/dev/mem", O_RDWR);
}

// off_t is 64 bits wide on every target (_FILE_OFFSET_BITS=64), so an
// aperture at or above 2 GiB maps at its true physical address.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");
inline void *mem_map(int fd, std::uint32_t physical, std::uint32_t length) {
    return mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(physical));
}

inline void mem_close(int fd) {
    close(fd);
}

#endif

} // namespace kova::platform
