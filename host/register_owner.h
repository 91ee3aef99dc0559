// One owner of the controller's registers at a time: a program holds an
// exclusive flock on DIR/registers.lock for as long as it touches registers,
// with its pid and name written in the file, so that a second program can say
// who holds them.  The holder removes the file when it lets go (a program
// killed outright leaves it, and the next one takes it over).  The file is
// never opened through a link, and it and DIR keep the state directory's rule
// (this user's or root's, and nobody else can write them): a program refuses
// anything else with the reason and touches no register.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>

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

    // Gives the registers up and removes the file (also on destruction and at
    // process exit).
    void release();

    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
    std::string path_;
    pid_t pid_ = 0; // the taker: a forked copy leaves the file alone
};

} // namespace kova::tool
