// The card in the machine behind the tracer (kovatrace): each access the
// program makes is performed on the controller, with exactly the program's
// width, and written to the trace with the value the card returned.  The
// runner reaches the card through its own mapping of the register window (on
// the memory device, or a stand-in file whose offset is the physical
// address) and through the port device (or a stand-in file whose offset is
// the port); the program's frame-buffer mappings are of a descriptor that
// reaches the aperture alone.
#pragma once

#include "backend.h"
#include "controller.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kova::run {

// Where the card is reached, and where its accesses are written.
struct CardFiles {
    std::string mem = "/dev/mem";   // the runner's register window: offset = physical address
    std::string port = "/dev/port"; // one byte at offset = port
    // The frame buffer the program maps: the memory device's stand-in when
    // one is given, else the PCI resource file that holds the aperture.
    std::string aperture;
    std::uint64_t aperture_file_base = 0; // the physical address at offset 0 of `aperture`
    std::uint64_t aperture_base = 0;      // the aperture's physical address
};

class CardBackend final : public Backend {
  public:
    CardBackend() = default;
    ~CardBackend() override;

    // Opens the card's files and maps the register window; false with the
    // reason when it cannot.  Nothing is read or written on the card.
    bool open(const CardFiles &files, std::string &error);
    // The trace, each line written as it happens; with `times` each line
    // ends in " @SECONDS" since start_clock().
    void set_trace(std::FILE *trace, bool times) {
        trace_ = trace;
        times_ = times;
    }
    void start_clock() { start_ = std::chrono::steady_clock::now(); }

    void port_out8(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t port_in8(std::uint16_t port) override;
    void window_store(std::uint32_t offset, std::uint32_t value, unsigned bytes) override;
    std::uint32_t window_load(std::uint32_t offset, unsigned bytes) override;
    int iopl(int level) override;
    int open_mem() override;
    void close_mem(int handle) override;
    Mapping map(int handle, std::uint64_t physical, std::uint64_t length) override;
    int memory_descriptor() const override { return aperture_fd_; }
    const char *name() const override { return "the card"; }

    // Whether a write to the trace failed (said once on standard error).
    bool trace_failed() const { return trace_failed_; }

  private:
    void record(sim::Event::Kind kind, std::uint32_t address, std::uint32_t value, bool failed = false);
    void port_failed(const char *what, std::uint16_t port);

    int port_fd_ = -1;
    int aperture_fd_ = -1;
    void *window_ = nullptr;
    std::uint64_t aperture_base_ = 0;
    std::uint64_t aperture_file_base_ = 0;
    int next_handle_ = 0;
    bool port_error_said_ = false;
    std::FILE *trace_ = nullptr;
    bool times_ = false;
    bool trace_failed_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace kova::run
