// Holds SIGINT, SIGTERM and SIGHUP while a register sequence runs, so that a
// sequence is never left half done; when the hold ends, a signal that arrived
// meanwhile is delivered and takes its usual effect.
#pragma once

#include <csignal>

namespace kova::tool {

class SignalHold {
  public:
    SignalHold() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        sigaddset(&held, SIGHUP);
        sigprocmask(SIG_BLOCK, &held, &previous_);
    }
    SignalHold(const SignalHold &) = delete;
    SignalHold &operator=(const SignalHold &) = delete;
    ~SignalHold() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

  private:
    sigset_t previous_;
};

} // namespace kova::tool
