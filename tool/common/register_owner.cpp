#include "register_owner.h"

#include "state_dir.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace kova::tool {

namespace {

constexpr std::chrono::milliseconds kRetryEvery{20};

std::string system_error(const std::string &what) {
    return what + ": " + std::strerror(errno);
}

// "kovactl (pid 1234)" from the holder's "1234 kovactl" line.
std::string holder_of(int fd) {
    char text[128] = {};
    const ssize_t got = pread(fd, text, sizeof text - 1, 0);
    long pid = 0;
    char program[64] = {};
    if (got <= 0 || std::sscanf(text, "%ld %63s", &pid, program) != 2) return "another program";
    return std::string(program) + " (pid " + std::to_string(pid) + ")";
}

bool lock_within(int fd, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            errno = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(kRetryEvery);
    }
}

} // namespace

std::string register_owner_path(const std::string &dir) {
    return dir + "/registers.lock";
}

bool RegisterOwner::acquire(const std::string &dir, const char *program, std::chrono::milliseconds wait,
                            std::string &error) {
    release();
    if (!ensure_state_dir(dir)) {
        error = system_error("cannot create the state directory " + dir) + " (set KOVA_STATE_DIR)";
        return false;
    }
    const std::string path = register_owner_path(dir);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = system_error("cannot open " + path);
        return false;
    }
    if (!lock_within(fd, wait)) {
        if (errno == EWOULDBLOCK) {
            const auto seconds = std::chrono::duration<double>(wait).count();
            char waited[32];
            std::snprintf(waited, sizeof waited, "%g s", seconds);
            error = "the registers are in use by " + holder_of(fd) + "; gave up after " + waited;
        } else {
            error = system_error("cannot lock " + path);
        }
        close(fd);
        return false;
    }
    const std::string line = std::to_string(getpid()) + " " + program + "\n";
    if (ftruncate(fd, 0) != 0 ||
        pwrite(fd, line.data(), line.size(), 0) != static_cast<ssize_t>(line.size())) {
        error = system_error("cannot write " + path);
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void RegisterOwner::release() {
    if (fd_ < 0) return;
    close(fd_); // closing the only descriptor drops the lock
    fd_ = -1;
}

} // namespace kova::tool
