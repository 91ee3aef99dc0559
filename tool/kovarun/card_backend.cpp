#include "card_backend.h"

#include "aperture.h"
#include "signal_hold.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace kova::run {

namespace {

using Kind = sim::Event::Kind;

constexpr Kind kStores[] = {Kind::W8, Kind::W8, Kind::W16, Kind::W16, Kind::W32};
constexpr Kind kLoads[] = {Kind::R8, Kind::R8, Kind::R16, Kind::R16, Kind::R32};

// Whether [physical, physical + length) lies inside [start, start + span).
bool inside(std::uint64_t physical, std::uint64_t length, std::uint64_t start, std::uint64_t span) {
    return length != 0 && physical >= start && physical - start <= span &&
           length <= span - (physical - start);
}

std::string failed_to(const std::string &what, const std::string &path) {
    return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

} // namespace

CardBackend::~CardBackend() {
    if (window_ != nullptr) munmap(window_, decode::kRegisterWindowLength);
    if (port_fd_ >= 0) close(port_fd_);
    if (aperture_fd_ >= 0) close(aperture_fd_);
}

bool CardBackend::open(const CardFiles &files, std::string &error) {
    aperture_base_ = files.aperture_base;
    aperture_file_base_ = files.aperture_file_base;
    const int mem = ::open(files.mem.c_str(), O_RDWR | O_SYNC | O_CLOEXEC);
    if (mem < 0) {
        error = failed_to("open", files.mem);
        return false;
    }
    void *window = mmap(nullptr, decode::kRegisterWindowLength, PROT_READ | PROT_WRITE, MAP_SHARED, mem,
                        static_cast<off_t>(aperture_base_ + decode::kRegisterWindowOffset));
    const int map_error = errno;
    close(mem);
    if (window == MAP_FAILED) {
        errno = map_error;
        error = failed_to("map the register window from", files.mem);
        return false;
    }
    window_ = window;
    if ((port_fd_ = ::open(files.port.c_str(), O_RDWR | O_CLOEXEC)) < 0) {
        error = failed_to("open", files.port);
        return false;
    }
    if ((aperture_fd_ = ::open(files.aperture.c_str(), O_RDWR | O_CLOEXEC)) < 0) {
        error = failed_to("open", files.aperture);
        return false;
    }
    return true;
}

void CardBackend::record(Kind kind, std::uint32_t address, std::uint32_t value, bool failed) {
    if (trace_ == nullptr || trace_failed_) return;
    std::string line = sim::format({.kind = kind, .failed = failed, .address = address, .value = value});
    if (times_) {
        const std::chrono::duration<double> since = std::chrono::steady_clock::now() - start_;
        char time[32];
        std::snprintf(time, sizeof time, " @%.6f", since.count());
        line += time;
    }
    line += '\n';
    if (std::fputs(line.c_str(), trace_) < 0 || std::fflush(trace_) != 0) {
        trace_failed_ = true;
        std::fprintf(stderr, "kovatrace: cannot write the trace: %s; the run goes on untraced\n",
                     std::strerror(errno));
    }
}

void CardBackend::port_failed(const char *what, std::uint16_t port) {
    if (port_error_said_) return;
    port_error_said_ = true;
    std::fprintf(stderr, "kovatrace: cannot %s port 0x%x: %s (traced as FAIL)\n", what, port,
                 std::strerror(errno));
}

void CardBackend::port_out8(std::uint16_t port, std::uint8_t value) {
    bool done = false;
    {
        const tool::SignalHold hold;
        done = pwrite(port_fd_, &value, 1, port) == 1;
    }
    if (!done) port_failed("write", port);
    record(Kind::Out8, port, value, !done);
}

std::uint8_t CardBackend::port_in8(std::uint16_t port) {
    std::uint8_t value = 0xFF; // what a bus with nothing on the port returns
    bool done = false;
    {
        const tool::SignalHold hold;
        done = pread(port_fd_, &value, 1, port) == 1;
    }
    if (!done) {
        value = 0xFF;
        port_failed("read", port);
    }
    record(Kind::In8, port, value, !done);
    return value;
}

// One volatile store or load of the program's width; the tracer has checked
// that it lies inside the window.
void CardBackend::window_store(std::uint32_t offset, std::uint32_t value, unsigned bytes) {
    auto *at = static_cast<std::uint8_t *>(window_) + offset;
    {
        const tool::SignalHold hold;
        if (bytes == 1)
            *reinterpret_cast<volatile std::uint8_t *>(at) = static_cast<std::uint8_t>(value);
        else if (bytes == 2)
            *reinterpret_cast<volatile std::uint16_t *>(at) = static_cast<std::uint16_t>(value);
        else
            *reinterpret_cast<volatile std::uint32_t *>(at) = value;
    }
    record(kStores[bytes], offset, value);
}

std::uint32_t CardBackend::window_load(std::uint32_t offset, unsigned bytes) {
    const auto *at = static_cast<const std::uint8_t *>(window_) + offset;
    std::uint32_t value = 0;
    {
        const tool::SignalHold hold;
        if (bytes == 1)
            value = *reinterpret_cast<const volatile std::uint8_t *>(at);
        else if (bytes == 2)
            value = *reinterpret_cast<const volatile std::uint16_t *>(at);
        else
            value = *reinterpret_cast<const volatile std::uint32_t *>(at);
    }
    record(kLoads[bytes], offset, value);
    return value;
}

// The program's privilege and memory-device opens are the runner's to
// answer: the kernel never sees them.
int CardBackend::iopl(int level) {
    record(Kind::Iopl, static_cast<std::uint32_t>(level), 0);
    return 0;
}

int CardBackend::open_mem() {
    record(Kind::Open, 0, 0);
    return ++next_handle_;
}

void CardBackend::close_mem(int /*handle*/) {
    record(Kind::Close, 0, 0);
}

// The frame buffer is the aperture's memory itself; the register window a
// no-access mapping whose every access the runner performs; nothing else.
Backend::Mapping CardBackend::map(int /*handle*/, std::uint64_t physical, std::uint64_t length) {
    const auto address = static_cast<std::uint32_t>(physical);
    const auto span = static_cast<std::uint32_t>(length);
    const std::uint64_t window = aperture_base_ + decode::kRegisterWindowOffset;
    if (inside(physical, length, aperture_base_, decode::kVideoMemoryLength)) {
        record(Kind::Mmap, address, span);
        return {.kind = Mapping::Kind::FrameBuffer, .file_offset = physical - aperture_file_base_};
    }
    if (inside(physical, length, window, decode::kRegisterWindowLength)) {
        record(Kind::Mmap, address, span);
        return {.kind = Mapping::Kind::Window,
                .window_offset = static_cast<std::uint32_t>(physical - window)};
    }
    record(Kind::Mmap, address, span, true);
    return {.kind = Mapping::Kind::Outside, .error = EPERM};
}

} // namespace kova::run
