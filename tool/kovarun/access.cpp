#include "access.h"

#include "aperture.h"

#include <capstone/capstone.h>

#include <cstdio>

namespace kova::run {

namespace {

constexpr unsigned long long kI386CodeSegment = 0x23;

// A general register and its narrower names: 64, 32, 16 and low 8 bits, and
// the high byte (bits 15-8) for the four that have one.
struct Gpr {
    unsigned r64, r32, r16, r8, r8_high;
    unsigned long long user_regs_struct::*field;
};

// NOLINTNEXTLINE(cert-err58-cpp): a table of constants
const Gpr kGprs[] = {
    {X86_REG_RAX, X86_REG_EAX, X86_REG_AX, X86_REG_AL, X86_REG_AH, &user_regs_struct::rax},
    {X86_REG_RCX, X86_REG_ECX, X86_REG_CX, X86_REG_CL, X86_REG_CH, &user_regs_struct::rcx},
    {X86_REG_RDX, X86_REG_EDX, X86_REG_DX, X86_REG_DL, X86_REG_DH, &user_regs_struct::rdx},
    {X86_REG_RBX, X86_REG_EBX, X86_REG_BX, X86_REG_BL, X86_REG_BH, &user_regs_struct::rbx},
    {X86_REG_RSP, X86_REG_ESP, X86_REG_SP, X86_REG_SPL, X86_REG_INVALID, &user_regs_struct::rsp},
    {X86_REG_RBP, X86_REG_EBP, X86_REG_BP, X86_REG_BPL, X86_REG_INVALID, &user_regs_struct::rbp},
    {X86_REG_RSI, X86_REG_ESI, X86_REG_SI, X86_REG_SIL, X86_REG_INVALID, &user_regs_struct::rsi},
    {X86_REG_RDI, X86_REG_EDI, X86_REG_DI, X86_REG_DIL, X86_REG_INVALID, &user_regs_struct::rdi},
    {X86_REG_R8, X86_REG_R8D, X86_REG_R8W, X86_REG_R8B, X86_REG_INVALID, &user_regs_struct::r8},
    {X86_REG_R9, X86_REG_R9D, X86_REG_R9W, X86_REG_R9B, X86_REG_INVALID, &user_regs_struct::r9},
    {X86_REG_R10, X86_REG_R10D, X86_REG_R10W, X86_REG_R10B, X86_REG_INVALID, &user_regs_struct::r10},
    {X86_REG_R11, X86_REG_R11D, X86_REG_R11W, X86_REG_R11B, X86_REG_INVALID, &user_regs_struct::r11},
    {X86_REG_R12, X86_REG_R12D, X86_REG_R12W, X86_REG_R12B, X86_REG_INVALID, &user_regs_struct::r12},
    {X86_REG_R13, X86_REG_R13D, X86_REG_R13W, X86_REG_R13B, X86_REG_INVALID, &user_regs_struct::r13},
    {X86_REG_R14, X86_REG_R14D, X86_REG_R14W, X86_REG_R14B, X86_REG_INVALID, &user_regs_struct::r14},
    {X86_REG_R15, X86_REG_R15D, X86_REG_R15W, X86_REG_R15B, X86_REG_INVALID, &user_regs_struct::r15},
};

// Where a register name lives in user_regs_struct: its field, the shift of
// its lowest bit and its width in bits.
struct Place {
    unsigned long long user_regs_struct::*field = nullptr;
    unsigned shift = 0, bits = 0;
};

Place place_of(unsigned reg) {
    for (const Gpr &g : kGprs) {
        if (reg == g.r64) return {g.field, 0, 64};
        if (reg == g.r32) return {g.field, 0, 32};
        if (reg == g.r16) return {g.field, 0, 16};
        if (reg == g.r8) return {g.field, 0, 8};
        if (reg == g.r8_high) return {g.field, 8, 8};
    }
    if (reg == X86_REG_RIP) return {&user_regs_struct::rip, 0, 64};
    if (reg == X86_REG_EIP) return {&user_regs_struct::rip, 0, 32};
    return {};
}

std::uint64_t low_bits(std::uint64_t value, unsigned bits) {
    return bits >= 64 ? value : value & ((std::uint64_t{1} << bits) - 1);
}

std::uint64_t read_reg(const user_regs_struct &regs, unsigned reg) {
    const Place p = place_of(reg);
    return p.field == nullptr ? 0 : low_bits(regs.*p.field >> p.shift, p.bits);
}

// x86 partial-register writes: 8- and 16-bit names keep the other bits of the
// register (AH..DH its bits 15-8), a 32-bit name zero-extends to 64 bits.
void write_reg(user_regs_struct &regs, unsigned reg, std::uint64_t value) {
    const Place p = place_of(reg);
    if (p.bits >= 32) {
        regs.*p.field = low_bits(value, p.bits);
        return;
    }
    const std::uint64_t mask = low_bits(~std::uint64_t{0}, p.bits) << p.shift;
    regs.*p.field = (regs.*p.field & ~mask) | ((value << p.shift) & mask);
}

void take_memory(Access &a, const cs_x86_op &op) {
    a.segment = op.mem.segment;
    a.base = op.mem.base;
    a.index = op.mem.index;
    a.scale = op.mem.scale;
    a.disp = op.mem.disp;
}

bool plain_width(unsigned width) {
    return width == 1 || width == 2 || width == 4;
}

// mov to or from memory: a store of a register or an immediate, or a load.
void classify_mov(const cs_x86_op &dst, const cs_x86_op &src, Access &a) {
    if (dst.type == X86_OP_MEM && (src.type == X86_OP_REG || src.type == X86_OP_IMM)) {
        a.kind = Access::Kind::Store;
        a.width = dst.size;
        take_memory(a, dst);
        a.immediate = src.type == X86_OP_IMM;
        a.imm = a.immediate ? static_cast<std::uint32_t>(src.imm) : 0;
        a.reg = a.immediate ? 0 : src.reg;
    } else if (dst.type == X86_OP_REG && src.type == X86_OP_MEM) {
        a.kind = Access::Kind::Load;
        a.width = src.size;
        a.reg = dst.reg;
        take_memory(a, src);
    }
}

// in/out: the data register and the port in dx or as imm8.
void classify_port(bool in, const cs_x86_op &data, const cs_x86_op &port, Access &a) {
    if (data.type != X86_OP_REG || (port.type != X86_OP_IMM && port.reg != X86_REG_DX)) return;
    a.kind = in ? Access::Kind::In : Access::Kind::Out;
    a.width = data.size;
    a.reg = data.reg;
    a.immediate = port.type == X86_OP_IMM;
    a.imm = a.immediate ? static_cast<std::uint32_t>(port.imm) : 0;
}

// The access an instruction makes, from its operands.
void classify(const cs_insn &insn, Access &a) {
    const cs_x86 &x = insn.detail->x86;
    if (x.op_count != 2 || x.prefix[0] != 0) return; // rep/lock forms are not single accesses
    const cs_x86_op &dst = x.operands[0];
    const cs_x86_op &src = x.operands[1];
    switch (insn.id) {
    case X86_INS_MOV:
        classify_mov(dst, src, a);
        break;
    case X86_INS_MOVZX:
    case X86_INS_MOVSX:
    case X86_INS_MOVSXD:
        if (dst.type == X86_OP_REG && src.type == X86_OP_MEM) {
            a.kind = Access::Kind::Load;
            a.width = src.size;
            a.reg = dst.reg;
            a.sign_extend = insn.id != X86_INS_MOVZX;
            take_memory(a, src);
        }
        break;
    case X86_INS_IN:
        classify_port(true, dst, src, a);
        break;
    case X86_INS_OUT:
        classify_port(false, src, dst, a);
        break;
    default:
        break;
    }
    const bool known_reg = a.reg == X86_REG_INVALID || place_of(a.reg).field != nullptr;
    if (!plain_width(a.width) || !known_reg) a.kind = Access::Kind::Unsupported;
}

std::uint64_t sign_extended(std::uint32_t value, unsigned width) {
    const unsigned bits = width * 8;
    const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
    return (low_bits(value, bits) ^ sign) - sign;
}

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

bool perform_memory(const Access &a, const std::vector<Window> &windows, user_regs_struct &regs,
                    Backend &controller, std::string &why) {
    std::uint64_t address = 0;
    if (!effective_address(a, regs, is_i386(regs), address)) {
        why = "a segment override the runner does not resolve";
        return false;
    }
    const Window *w = window_holding(windows, address);
    if (w == nullptr) {
        why = "an access at " + hex(address) + " that starts outside the register window";
        return false;
    }
    const std::uint64_t offset = w->offset + (address - w->start);
    if (address - w->start + a.width > w->length || offset + a.width > decode::kRegisterWindowLength) {
        why = "an access at window offset " + hex(offset) + " that runs past the end of the mapping";
        return false;
    }
    const auto at = static_cast<std::uint32_t>(offset);
    if (a.kind == Access::Kind::Store) {
        const std::uint64_t value = a.immediate ? a.imm : read_reg(regs, a.reg);
        controller.window_store(at, static_cast<std::uint32_t>(low_bits(value, a.width * 8)), a.width);
        return true;
    }
    const std::uint32_t value = controller.window_load(at, a.width);
    write_reg(regs, a.reg, a.sign_extend ? sign_extended(value, a.width) : value);
    return true;
}

// Port I/O wider than a byte reaches successive ports, low byte first.
void perform_port(const Access &a, user_regs_struct &regs, Backend &controller) {
    const auto port = static_cast<std::uint16_t>(a.immediate ? a.imm : regs.rdx);
    if (a.kind == Access::Kind::Out) {
        const std::uint64_t value = read_reg(regs, a.reg);
        for (unsigned i = 0; i < a.width; ++i)
            controller.port_out8(static_cast<std::uint16_t>(port + i),
                                 static_cast<std::uint8_t>(value >> (8 * i)));
        return;
    }
    std::uint64_t value = 0;
    for (unsigned i = 0; i < a.width; ++i)
        value |= std::uint64_t{controller.port_in8(static_cast<std::uint16_t>(port + i))} << (8 * i);
    write_reg(regs, a.reg, value);
}

} // namespace

Decoder::Decoder() {
    const cs_mode modes[2] = {CS_MODE_64, CS_MODE_32};
    for (int i = 0; i < 2; ++i) {
        csh handle = 0;
        if (cs_open(CS_ARCH_X86, modes[i], &handle) == CS_ERR_OK) cs_option(handle, CS_OPT_DETAIL, CS_OPT_ON);
        handles_[i] = handle;
    }
}

Decoder::~Decoder() {
    for (std::size_t &handle : handles_)
        if (handle != 0) cs_close(&handle);
}

Access Decoder::decode(const std::uint8_t *bytes, std::size_t size, std::uint64_t address, bool i386) const {
    Access a;
    cs_insn *insn = nullptr;
    const csh handle = handles_[i386 ? 1 : 0];
    if (handle == 0 || cs_disasm(handle, bytes, size, address, 1, &insn) != 1) {
        char text[64];
        std::snprintf(text, sizeof text, "(undecodable bytes %02x %02x %02x %02x)", bytes[0], bytes[1],
                      bytes[2], bytes[3]);
        a.text = text;
        return a;
    }
    a.length = insn->size;
    a.text = std::string(insn->mnemonic) + (insn->op_str[0] != '\0' ? " " : "") + insn->op_str;
    classify(*insn, a);
    cs_free(insn, 1);
    return a;
}

const Window *window_holding(const std::vector<Window> &windows, std::uint64_t address) {
    for (const Window &w : windows)
        if (address >= w.start && address - w.start < w.length) return &w;
    return nullptr;
}

bool is_i386(const user_regs_struct &regs) {
    return regs.cs == kI386CodeSegment;
}

bool effective_address(const Access &a, const user_regs_struct &regs, bool i386, std::uint64_t &address) {
    std::uint64_t base = 0;
    if (a.segment == X86_REG_FS && !i386)
        base = regs.fs_base;
    else if (a.segment == X86_REG_GS && !i386)
        base = regs.gs_base;
    else if (a.segment != X86_REG_INVALID && a.segment != X86_REG_DS && a.segment != X86_REG_SS &&
             a.segment != X86_REG_ES && a.segment != X86_REG_CS)
        return false;
    std::uint64_t ea = static_cast<std::uint64_t>(a.disp);
    if (a.base == X86_REG_RIP || a.base == X86_REG_EIP)
        ea += regs.rip + a.length;
    else if (a.base != X86_REG_INVALID)
        ea += read_reg(regs, a.base);
    if (a.index != X86_REG_INVALID) ea += read_reg(regs, a.index) * static_cast<std::uint64_t>(a.scale);
    address = low_bits(base + ea, i386 ? 32 : 64);
    return true;
}

bool perform(const Access &a, const std::vector<Window> &windows, user_regs_struct &regs, Backend &controller,
             std::string &why) {
    switch (a.kind) {
    case Access::Kind::Load:
    case Access::Kind::Store:
        if (!perform_memory(a, windows, regs, controller, why)) return false;
        break;
    case Access::Kind::In:
    case Access::Kind::Out:
        perform_port(a, regs, controller);
        break;
    case Access::Kind::Unsupported:
        why = "an instruction form the runner does not perform";
        return false;
    }
    regs.rip += a.length;
    return true;
}

} // namespace kova::run
