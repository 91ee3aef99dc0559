// One owner of the controller's registers at a time: a program holds an
// exclusive flock on DIR/registers.lock for as long as it touches registers,
// with its pid and name written in the file, so that a second program can say
// who holds them.
#pragma once

#include <chrono>
#include <string>

namespace kova::tool {

// How long a program waits for another owner before it gives up.
inline constexpr std::chrono::milliseconds kRegisterOwnerWait{5000};

// DIR/registers.lock
std::string register_owner_path(const std::string &dir);

class RegisterOwner {
  public:
    RegisterOwner() = default;
    RegisterOwner(const RegisterOwner &) = delete;
    RegisterOwner &operator=(const RegisterOwner &) = delete;
    ~RegisterOwner() { release(); }

    // Creates DIR if needed and takes the lock, waiting up to `wait` while
    // another program holds it; then writes "PID PROGRAM" into the file.  On
    // failure returns false with `error` set to a one-line reason, e.g.
    // "the registers are in use by kovactl (pid 1234); gave up after 5 s".
    bool acquire(const std::string &dir, const char *program, std::chrono::milliseconds wait,
                 std::string &error);

    // Gives the registers up (also on destruction and at process exit).
    void release();

    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

} // namespace kova::tool
