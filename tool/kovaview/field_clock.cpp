#include "field_clock.h"

namespace kova::view {

namespace {

constexpr std::uint64_t kNanoseconds = 1'000'000'000;

} // namespace

// k·den/num seconds rounded up to the nanosecond, so that field k has begun
// exactly when begun() counts it.  k = q·num + r keeps each product well
// inside 64 bits (for NTSC r·den·10^9 < 6·10^16).
Clock::time_point FieldClock::begins(std::uint64_t k) const {
    const std::uint64_t q = k / num_, r = k % num_;
    const std::uint64_t ns = q * den_ * kNanoseconds + (r * den_ * kNanoseconds + num_ - 1) / num_;
    return start_ + std::chrono::nanoseconds(ns);
}

std::uint64_t FieldClock::begun(Clock::time_point now) const {
    if (now < start_) return 0;
    const auto elapsed = static_cast<std::uint64_t>(std::chrono::nanoseconds(now - start_).count());
    const std::uint64_t period = den_ * kNanoseconds; // num_ fields
    const std::uint64_t a = elapsed / period, b = elapsed % period;
    return a * num_ + b * num_ / period + 1;
}

} // namespace kova::view
