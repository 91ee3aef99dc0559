// What the tracer needs of a controller: port I/O one byte at a time, loads
// and stores of 8, 16 or 32 bits on the register window, the I/O privilege
// and the memory device's answers.  The simulated controller (kovarun) and
// the card in the machine (kovatrace) each stand behind one.
#pragma once

#include <cstdint>

namespace kova::run {

class Backend {
  public:
    // What a mapping of the memory device becomes in the program.
    struct Mapping {
        // Outside: a range the runner does not let the program reach; it is stopped.
        enum class Kind : std::uint8_t { Refused, FrameBuffer, Window, Outside };
        Kind kind = Kind::Refused;
        int error = 0;                   // Refused: errno
        std::uint64_t file_offset = 0;   // FrameBuffer: the offset in memory_descriptor()
        std::uint32_t window_offset = 0; // Window: the window offset the mapping starts at
    };

    Backend() = default;
    Backend(const Backend &) = delete;
    Backend &operator=(const Backend &) = delete;
    virtual ~Backend() = default;

    virtual void port_out8(std::uint16_t port, std::uint8_t value) = 0;
    virtual std::uint8_t port_in8(std::uint16_t port) = 0;
    virtual void window_store(std::uint32_t offset, std::uint32_t value, unsigned bytes) = 0;
    virtual std::uint32_t window_load(std::uint32_t offset, unsigned bytes) = 0;

    // iopl(level) for the program: 0, or -1 with errno.
    virtual int iopl(int level) = 0;
    // An open of the memory device for the program: a handle for map() and
    // close_mem(), or -1 with errno.
    virtual int open_mem() = 0;
    virtual void close_mem(int handle) = 0;
    virtual Mapping map(int handle, std::uint64_t physical, std::uint64_t length) = 0;
    // The runner's descriptor that the program's memory-device opens get a
    // copy of; frame-buffer mappings map it at Mapping::file_offset.
    virtual int memory_descriptor() const = 0;
    // What serves the program, for messages ("the simulated controller").
    virtual const char *name() const = 0;
};

} // namespace kova::run
