// portmem: register-window and direct port access, TV and audio registers,
// aperture control, screen environment and drawing.
#include "portmem.h"

#include "platform.h"
#include "decode.h"

#include <cstdint>
#include "vga_ports.h"

unsigned char *dwMEM_IO_BASE = nullptr;
unsigned char *dwLINEAR_BASE = nullptr;

unsigned short wScreenWidth = 0;
unsigned short wScreenHeight = 0;
unsigned char bBpp = 0;

namespace {

using namespace kova::vga;

// The aperture registers, reached by direct port I/O.
using kova::reg::kApertureBase;
using kova::reg::kApertureControl;
constexpr auto kApertureEnable = static_cast<std::uint8_t>(kApertureControl.field().mask());

std::uint8_t *window(std::uint32_t offset) {
    return dwMEM_IO_BASE + offset;
}
std::uint8_t *tv_register(std::uint16_t index) {
    return window(kova::decode::kTvBase + index);
}

// ---- Frame buffer ----
// The frame buffer is device memory: every store is one volatile store of the
// stated width.  A 24-bit pixel starts at any byte, so the 16- and 32-bit
// views carry byte alignment (x86 stores them unaligned in one access).
typedef std::uint16_t fb_u16 __attribute__((aligned(1)));
typedef std::uint32_t fb_u32 __attribute__((aligned(1)));

void fb_store8(std::uint32_t offset, std::uint8_t value) {
    *reinterpret_cast<volatile std::uint8_t *>(dwLINEAR_BASE + offset) = value;
}
void fb_store16(std::uint32_t offset, std::uint16_t value) {
    *reinterpret_cast<volatile fb_u16 *>(dwLINEAR_BASE + offset) = value;
}
void fb_store32(std::uint32_t offset, std::uint32_t value) {
    *reinterpret_cast<volatile fb_u32 *>(dwLINEAR_BASE + offset) = value;
}

std::uint8_t byte_of(std::uint32_t colour, unsigned n) {
    return static_cast<std::uint8_t>(colour >> (8 * n));
}

// Below 8 bits per pixel no pixel owns a byte: drawing writes nothing.
bool drawable_depth() {
    return bBpp >= 8;
}

// Rounds to single precision.  On i386 the x87 unit keeps floats in extended
// precision; a store to memory rounds to the float format (exactly as a
// single-precision operation would, since extended has more than 2 * 24 + 2
// significand bits).
float to_single(float value) {
    volatile float stored = value;
    return stored;
}

// The pixel a DDA position falls on: position + 0.5, truncated toward zero.
// The sum is exact in double, so a position halfway between two pixels goes to
// the higher one.  That is the drawing rule, so no lround (halves away from 0).
unsigned short pixel_of(float position) {
    // NOLINTNEXTLINE(bugprone-incorrect-roundings)
    return static_cast<unsigned short>(static_cast<int>(static_cast<double>(position) + 0.5));
}

std::uint8_t read_crt(std::uint8_t index) {
    kovaoutp(kCrIndexPort, index);
    return kovainp(kCrDataPort);
}
std::uint8_t read_graphics(std::uint8_t index) {
    kovaoutp(kGrIndexPort, index);
    return kovainp(kGrDataPort);
}

} // namespace

extern "C" {

void kovaoutp(unsigned short port, unsigned char value) {
    kova::platform::store8(window(port), value);
}
unsigned char kovainp(unsigned short port) {
    return kova::platform::load8(window(port));
}
void kovaoutpw(unsigned short port, unsigned short value) {
    kova::platform::store16(window(port), value);
}
unsigned short kovainpw(unsigned short port) {
    return kova::platform::load16(window(port));
}

int RequestIOPrivilege(void) {
    return kova::platform::request_io_privilege();
}

void asm_outp(unsigned short port, unsigned char value) {
    (void)RequestIOPrivilege(); // the access goes ahead whatever the answer
    kova::platform::port_out8(port, value);
}

unsigned char asm_inp(unsigned short port) {
    (void)RequestIOPrivilege();
    return kova::platform::port_in8(port);
}

void WriteTVReg(unsigned short index, unsigned short value) {
    kova::platform::store16(tv_register(index), value);
}
unsigned short ReadTVReg(unsigned short index) {
    return kova::platform::load16(tv_register(index));
}

void WriteAudioRegB(unsigned short index, unsigned char value) {
    kova::platform::store8(tv_register(index), value);
}
unsigned char ReadAudioRegB(unsigned short index) {
    return kova::platform::load8(tv_register(index));
}
void WriteAudioRegW(unsigned short index, unsigned short value) {
    kova::platform::store16(tv_register(index), value);
}
unsigned short ReadAudioRegW(unsigned short index) {
    return kova::platform::load16(tv_register(index));
}
void WriteAudioRegD(unsigned short index, unsigned int value) {
    kova::platform::store32(tv_register(index), value);
}
unsigned int ReadAudioRegD(unsigned short index) {
    return kova::platform::load32(tv_register(index));
}

void EnableLinearAddr(void) {
    asm_outp(kGrIndexPort, kApertureControl.at());
    const unsigned char control = asm_inp(kGrDataPort);
    asm_outp(kGrDataPort, control | kApertureEnable);
}

void DisableLinearAddr(void) {
    asm_outp(kGrIndexPort, kApertureControl.at());
    const unsigned char control = asm_inp(kGrDataPort);
    asm_outp(kGrDataPort, control & static_cast<unsigned char>(~kApertureEnable));
}

unsigned int GetChipPhysAddr(void) {
    asm_outp(kGrIndexPort, kApertureBase.at());
    return static_cast<unsigned int>(asm_inp(kGrDataPort)) << 24;
}

// ---- Screen environment ----

void SetEnvironmentVariables(void) {
    using namespace kova::decode;
    using namespace kova::reg;
    const std::uint8_t cr01 = read_crt(kHorizontalDisplayEnd.at());
    const std::uint8_t cr07 = read_crt(kOverflow.at());
    const std::uint8_t cr12 = read_crt(kVerticalDisplayEnd.at());
    const std::uint8_t cr53 = read_crt(kExtendedHorizontal.at());
    const std::uint8_t gr11 = read_graphics(kExtendedVertical.at());
    wScreenWidth = visible_width(cr01, cr53);
    wScreenHeight = visible_height(cr12, cr07, gr11);
    bBpp = bits_per_pixel(read_graphics(kPixelDepth.at()));
}

unsigned char *GetFrameBufferPtr(void) {
    return dwLINEAR_BASE;
}

// ---- Drawing ----

void DrawPixel(unsigned short x, unsigned short y, unsigned int colour) {
    if (!drawable_depth()) return;
    const std::uint32_t at = (static_cast<std::uint32_t>(y) * wScreenWidth + x) * (bBpp / 8u);
    switch (bBpp) {
    case 16:
        fb_store16(at, static_cast<std::uint16_t>(colour));
        break;
    case 24:
        fb_store16(at, static_cast<std::uint16_t>(colour));
        fb_store8(at + 2, byte_of(colour, 2));
        break;
    case 32:
        fb_store32(at, colour);
        break;
    default:
        fb_store8(at, byte_of(colour, 0));
        break;
    }
}

void DrawLine(unsigned short x0, unsigned short y0, unsigned short x1, unsigned short y1,
              unsigned int colour) {
    const std::int32_t dx = static_cast<std::int32_t>(x1) - x0;
    const std::int32_t dy = static_cast<std::int32_t>(y1) - y0;
    const std::int32_t adx = dx < 0 ? -dx : dx;
    const std::int32_t ady = dy < 0 ? -dy : dy;
    const std::int32_t steps = adx > ady ? adx : ady;

    float fx = x0;
    float fy = y0;
    DrawPixel(pixel_of(fx), pixel_of(fy), colour);
    if (steps <= 0) return;

    const float xinc = to_single(static_cast<float>(static_cast<long double>(dx) / steps));
    const float yinc = to_single(static_cast<float>(static_cast<long double>(dy) / steps));
    for (std::int32_t i = 0; i < steps; ++i) {
        fy = to_single(fy + yinc);
        fx = to_single(fx + xinc);
        DrawPixel(pixel_of(fx), pixel_of(fy), colour);
    }
}

void FillRect(unsigned short x0, unsigned short y0, unsigned short x1, unsigned short y1,
              unsigned int colour) {
    if (!drawable_depth()) return;
    std::uint32_t bytes_per_pixel;
    switch (bBpp) {
    case 16:
        bytes_per_pixel = 2;
        break;
    case 24:
        bytes_per_pixel = 3;
        break;
    case 32:
        bytes_per_pixel = 4;
        break;
    default:
        bytes_per_pixel = 1;
        break;
    }
    const std::uint32_t pitch = static_cast<std::uint32_t>(wScreenWidth) * bytes_per_pixel;
    std::uint32_t row = ((static_cast<std::uint32_t>(y0) * wScreenWidth + x0) * bBpp) / 8u;

    for (unsigned short y = y0; y < y1; ++y, row += pitch) {
        std::uint32_t at = row;
        for (unsigned short x = x0; x < x1; ++x, at += bytes_per_pixel) {
            switch (bBpp) {
            case 16:
                fb_store16(at, static_cast<std::uint16_t>(colour));
                break;
            case 24:
            case 32:
                for (std::uint32_t n = 0; n < bytes_per_pixel; ++n)
                    fb_store8(at + n, byte_of(colour, n));
                break;
            default:
                fb_store8(at, byte_of(colour, 0));
                break;
            }
        }
    }
}

void BitBlockTransfer(const unsigned char *source, unsigned char *destination, unsigned int count) {
    const volatile unsigned char *from = source;
    volatile unsigned char *to = destination;
    for (unsigned int i = 0; i < count; ++i)
        to[i] = from[i];
}

} // extern "C"
