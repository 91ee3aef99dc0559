// portmem: register-window and direct port access, TV and audio registers,
// aperture control.
#include "portmem.h"

#include "platform.h"

#include <cstdint>

unsigned char *dwMEM_IO_BASE = nullptr;
unsigned char *dwLINEAR_BASE = nullptr;

namespace {

// TV and audio registers lie in the register window from this offset upward.
constexpr std::uint32_t kTvRegisterBase = 0xB0000;

// Direct-I/O view of the graphics-controller index/data pair.
constexpr std::uint16_t kGrIndexPort = 0x3CE;
constexpr std::uint16_t kGrDataPort = 0x3CF;
constexpr std::uint8_t kGrApertureControl = 0x33; // bit 0: linear aperture enable
constexpr std::uint8_t kGrApertureBase = 0x35;    // physical address bits 31..24
constexpr std::uint8_t kApertureEnable = 0x01;

std::uint8_t *window(std::uint32_t offset) {
    return dwMEM_IO_BASE + offset;
}
std::uint8_t *tv_register(std::uint16_t index) {
    return window(kTvRegisterBase + index);
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
    asm_outp(kGrIndexPort, kGrApertureControl);
    const unsigned char control = asm_inp(kGrDataPort);
    asm_outp(kGrDataPort, control | kApertureEnable);
}

void DisableLinearAddr(void) {
    asm_outp(kGrIndexPort, kGrApertureControl);
    const unsigned char control = asm_inp(kGrDataPort);
    asm_outp(kGrDataPort, control & static_cast<unsigned char>(~kApertureEnable));
}

unsigned int GetChipPhysAddr(void) {
    asm_outp(kGrIndexPort, kGrApertureBase);
    return static_cast<unsigned int>(asm_inp(kGrDataPort)) << 24;
}

} // extern "C"
