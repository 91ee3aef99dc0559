#include "register_owner.h"

#include "descriptor.h"
#include "state_dir.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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
    if (got <= 0) return "another program";
    char *end = nullptr;
    errno = 0;
    const long pid = std::strtol(text, &end, 10); // the file may hold anything: a pid out of range is no pid
    char program[64] = {};
    if (end == text || errno == ERANGE || pid <= 0 || std::sscanf(end, "%63s", program) != 1)
        return "another program";
    return std::string(program) + " (pid " + std::to_string(pid) + ")";
}

// Waits for the lock until the deadline: false with errno EWOULDBLOCK when
// another program holds it then.
bool lock_until(int fd, std::chrono::steady_clock::time_point deadline) {
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

// Opens the lock file, never through a link and never one that another user
// could have written (the state directory's rule); -1 with `error` set.
int open_lock_file(const std::string &path, std::string &error) {
    const int fd = open_above_standard(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        error = errno == ELOOP ? path + " is a symbolic link; the register lock must be a regular file: "
                                        "remove the link"
                               : system_error("cannot open " + path);
        return -1;
    }
    struct stat st {};
    std::string why;
    if (fstat(fd, &st) != 0)
        why = system_error("cannot open " + path);
    else if (!S_ISREG(st.st_mode))
        why = path + " is not a regular file; remove it";
    else if (const std::string reason = untrusted(st); !reason.empty())
        why = path + " " + reason + "; remove it";
    if (why.empty()) return fd;
    error = why;
    close(fd);
    return -1;
}

// Whether the locked file is still the one at the path: its last holder
// removes it when letting go, and a program that opened it before then
// locks a file nobody else will.
bool still_at(const std::string &path, int fd) {
    struct stat held {
    }, named{};
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

std::string gave_up(int fd, std::chrono::milliseconds wait) {
    char waited[32];
    std::snprintf(waited, sizeof waited, "%g s", std::chrono::duration<double>(wait).count());
    return "the registers are in use by " + holder_of(fd) + "; gave up after " + waited;
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
    if (const std::string why = untrusted_state_dir(dir); !why.empty()) {
        error = why + "; the register lock there is not used";
        return false;
    }
    const std::string path = register_owner_path(dir);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    int fd = -1;
    for (bool locked = false; !locked;) {
        if ((fd = open_lock_file(path, error)) < 0) return false;
        locked = lock_until(fd, deadline);
        if (!locked) {
            error = errno == EWOULDBLOCK ? gave_up(fd, wait) : system_error("cannot lock " + path);
            close(fd);
            return false;
        }
        if (!still_at(path, fd)) { // removed by the holder this program waited for: the next file
            close(fd);
            locked = false;
        }
    }
    const std::string line = std::to_string(getpid()) + " " + program + "\n";
    if (ftruncate(fd, 0) != 0 ||
        pwrite(fd, line.data(), line.size(), 0) != static_cast<ssize_t>(line.size())) {
        error = system_error("cannot write " + path);
        unlink(path.c_str());
        close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    pid_ = getpid();
    return true;
}

void RegisterOwner::release() {
    if (fd_ < 0) return;
    if (getpid() == pid_) unlink(path_.c_str()); // still locked: nobody takes the file on its way out
    close(fd_);                                  // closing the only descriptor drops the lock
    fd_ = -1;
}

} // namespace kova::tool
