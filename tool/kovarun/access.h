// The instructions of a traced program that touch the controller: loads and
// stores on the register window and port I/O.  Each is decoded from its
// bytes, performed on the controller behind the runner and written back to the
// program's registers as the processor would have done.
#pragma once

#include "backend.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/user.h>
#include <vector>

namespace kova::run {

// Part of a register-window mapping in a traced program: [start, start +
// length) shows the window from offset `offset` on.
struct Window {
    std::uint64_t start;
    std::uint64_t length;
    std::uint32_t offset;
};

// One decoded instruction.
struct Access {
    enum class Kind : std::uint8_t { Unsupported, Load, Store, In, Out };
    Kind kind = Kind::Unsupported;
    unsigned width = 0;       // bytes moved: 1, 2 or 4
    unsigned reg = 0;         // register loaded into / stored from (capstone's name)
    bool sign_extend = false; // movsx: the loaded value fills the register signed
    bool immediate = false;   // a store of imm, or a port given as imm8
    std::uint32_t imm = 0;
    // The memory operand: segment:[base + index * scale + disp].
    unsigned segment = 0, base = 0, index = 0;
    int scale = 1;
    std::int64_t disp = 0;
    unsigned length = 0; // instruction bytes
    std::string text;    // the disassembly, for messages
};

class Decoder {
  public:
    Decoder();
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // Decodes the instruction at `address`; kind Unsupported (text still
    // filled when it disassembles) for any other form.
    Access decode(const std::uint8_t *bytes, std::size_t size, std::uint64_t address, bool i386) const;

  private:
    std::size_t handles_[2] = {};
};

// The window mapping that holds the address, or null.
const Window *window_holding(const std::vector<Window> &windows, std::uint64_t address);

// Whether the registers are those of an i386 program (its code segment).
bool is_i386(const user_regs_struct &regs);

// The effective address of the memory operand; false when it uses a segment
// the runner cannot resolve.
bool effective_address(const Access &access, const user_regs_struct &regs, bool i386, std::uint64_t &address);

// Performs a load or store on the window mapping that holds it, or the port
// I/O, on the controller; writes the result back and moves past the
// instruction.  False with the reason when it cannot.
bool perform(const Access &access, const std::vector<Window> &windows, user_regs_struct &regs,
             Backend &controller, std::string &why);

} // namespace kova::run
