// physmap: maps the controller's frame buffer and register window through the
// memory device.
#include "physmap.h"

#include "decode.h"
#include "platform.h"
#include "portmem.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <sys/mman.h>
#include "vga_ports.h"

void *pFB = nullptr;
void *pMMIO = nullptr;

namespace {

using namespace kova::vga;

using kova::decode::kFrameBufferOffset;
using kova::decode::kRegisterWindowLength;
using kova::decode::kRegisterWindowOffset;
using kova::decode::kVideoMemoryLength;

// The aperture base by inline port access; the I/O privilege must already be
// raised (EnableLinearAddr does so through asm_outp).
std::uint32_t read_aperture_base() {
    kova::platform::port_out8(kGrIndexPort, kova::reg::kApertureBase.at());
    return static_cast<std::uint32_t>(kova::platform::port_in8(kGrDataPort)) << 24;
}

} // namespace

extern "C" {

int MapPhysicalToLinear(void) {
    const int fd = kova::platform::mem_open();
    if (fd < 0) {
        std::printf("Opening mem device failed!\n");
        return -1;
    }

    const std::uint32_t base = read_aperture_base();
    if (base == 0) {
        // GR 35 = 0 would map physical address 0 (system RAM), not a controller.
        std::fprintf(stderr, "The controller reports no aperture base (GR 35 = 00).\n");
        std::printf("Mapping linear frame buffer failed!\n");
        kova::platform::mem_close(fd);
        errno = ENODEV; // no controller answered
        return -2;
    }

    pFB = kova::platform::mem_map(fd, base + kFrameBufferOffset, kVideoMemoryLength);
    if (pFB == MAP_FAILED) {
        std::printf("Mapping linear frame buffer failed!\n");
        kova::platform::mem_close(fd);
        return -2;
    }

    pMMIO = kova::platform::mem_map(fd, base + kRegisterWindowOffset, kRegisterWindowLength);
    if (pMMIO == MAP_FAILED) {
        std::printf("Mapping MMIO failed!\n");
        kova::platform::mem_close(fd);
        return -3;
    }

    dwLINEAR_BASE = static_cast<unsigned char *>(pFB);
    dwMEM_IO_BASE = static_cast<unsigned char *>(pMMIO);
    kova::platform::mem_close(fd);
    return 0;
}

int MapKOVAMemory(void) {
    EnableLinearAddr();
    return MapPhysicalToLinear();
}

} // extern "C"
