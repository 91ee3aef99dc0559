// The source's field clock on the wall: field k starts k field periods after
// the start, each start computed from the start itself (no error adds up),
// on the monotonic clock.  A pause moves the start on by its length.
#pragma once

#include <chrono>
#include <cstdint>

namespace kova::view {

using Clock = std::chrono::steady_clock;

class FieldClock {
  public:
    // Fields per second as a fraction (50/1 for PAL, 60000/1001 for NTSC).
    FieldClock(int rate_num, int rate_den) : num_(rate_num), den_(rate_den) {}

    void start(Clock::time_point now) { start_ = now; }
    // When field `k` (from 0) begins.
    Clock::time_point begins(std::uint64_t k) const;
    // How many fields have begun by `now` (1 at the start).
    std::uint64_t begun(Clock::time_point now) const;

    void pause(Clock::time_point now) { paused_at_ = now; }
    void resume(Clock::time_point now) { start_ += now - paused_at_; }

  private:
    std::uint64_t num_, den_;
    Clock::time_point start_{}, paused_at_{};
};

} // namespace kova::view
