// misc: indexed register access on the GR, SR and CR index/data pairs.
#include "misc.h"

#include "portmem.h"

#include <cstdint>
#include "register_access.h"
#include "vga_ports.h"

namespace {

using namespace kova::vga;

// The data port sits right after the index port (computed in 16 bits).
constexpr unsigned short data_port(unsigned short index_port) {
    return static_cast<unsigned short>(index_port + 1);
}

} // namespace

extern "C" {

void WriteReg(unsigned short port, unsigned char index, unsigned char value) {
    kovaoutp(port, index);
    kovaoutp(data_port(port), value);
}

unsigned char ReadReg(unsigned short port, unsigned char index) {
    kovaoutp(port, index);
    return kovainp(data_port(port));
}

void WriteRegM(unsigned short port, unsigned char index, unsigned char value, unsigned char keep) {
    kovaoutp(port, index);
    const unsigned char old = kovainp(data_port(port));
    kovaoutp(data_port(port), kova::reg::merge_masked(value, old, keep));
}

void Out_Video_Reg(unsigned char index, unsigned char value) {
    WriteReg(kGrIndexPort, index, value);
}
void Out_Video_Reg_M(unsigned char index, unsigned char value, unsigned char keep) {
    WriteRegM(kGrIndexPort, index, value, keep);
}
void Out_SEQ_Reg(unsigned char index, unsigned char value) {
    WriteReg(kSrIndexPort, index, value);
}
void Out_SEQ_Reg_M(unsigned char index, unsigned char value, unsigned char keep) {
    WriteRegM(kSrIndexPort, index, value, keep);
}
void Out_CRT_Reg(unsigned char index, unsigned char value) {
    WriteReg(kCrIndexPort, index, value);
}
void Out_CRT_Reg_M(unsigned char index, unsigned char value, unsigned char keep) {
    WriteRegM(kCrIndexPort, index, value, keep);
}

} // extern "C"
