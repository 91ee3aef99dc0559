// The simulated controller behind the tracer (kovarun): every access is the
// model's, and the program's frame buffer is the video memory the runner
// shares with it.
#pragma once

#include "backend.h"
#include "controller.h"

#include <cerrno>
#include <sys/mman.h>

namespace kova::run {

class SimBackend final : public Backend {
  public:
    SimBackend(sim::Controller &sim, int video_fd) : sim_(sim), video_fd_(video_fd) {}

    void port_out8(std::uint16_t port, std::uint8_t value) override { sim_.port_out8(port, value); }
    std::uint8_t port_in8(std::uint16_t port) override { return sim_.port_in8(port); }
    void window_store(std::uint32_t offset, std::uint32_t value, unsigned bytes) override {
        sim_.window_store(offset, value, bytes);
    }
    std::uint32_t window_load(std::uint32_t offset, unsigned bytes) override {
        return sim_.window_load(offset, bytes);
    }
    int iopl(int level) override { return sim_.iopl(level); }
    int open_mem() override { return sim_.open_mem(); }
    void close_mem(int handle) override { sim_.close_mem(handle); }
    int memory_descriptor() const override { return video_fd_; }
    const char *name() const override { return "the simulated controller"; }

    Mapping map(int handle, std::uint64_t physical, std::uint64_t length) override {
        if (physical > 0xFFFFFFFFu || length > 0xFFFFFFFFu) return {.error = ENXIO};
        void *mapped =
            sim_.map(handle, static_cast<std::uint32_t>(physical), static_cast<std::uint32_t>(length));
        if (mapped == MAP_FAILED) return {.error = errno};
        if (mapped == sim_.video_memory()) return {.kind = Mapping::Kind::FrameBuffer};
        return {.kind = Mapping::Kind::Window,
                .window_offset =
                    static_cast<std::uint32_t>(static_cast<std::uint8_t *>(mapped) - sim_.window_base())};
    }

  private:
    sim::Controller &sim_;
    int video_fd_;
};

} // namespace kova::run
