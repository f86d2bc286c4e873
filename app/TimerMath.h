// The arithmetic behind the schedule timer, kept apart so it can be checked alone.
#pragma once
#include "framework/OleDateTime.h"
#include <cstdint>
#include <cstring>

// A schedule time is "no time" when its double is 0.0 or -0.0; the status is not looked at.
inline bool IsZeroTime(const COleDateTime& when)
{
    uint64_t bits;
    std::memcpy(&bits, &when.m_dt, sizeof bits);
    return (bits << 1) == 0;
}

// The longest wait the timer accepts in whole seconds (USER_TIMER_MAXIMUM ms).
constexpr int32_t kMaxTimerSeconds = 0x7FFFFFFF / 1000;

// Timer delay for a wait of the given seconds (> 0): whole seconds, fractions
// dropped, times 1000. A wait too long for a 32-bit millisecond count is cut to
// the longest the timer takes rather than wrapped; the early wake-up then finds
// nothing due and arms again.
inline UINT TimerDelayMs(double seconds)
{
    if (!(seconds < kMaxTimerSeconds))
        return static_cast<UINT>(kMaxTimerSeconds) * 1000;
    return static_cast<UINT>(static_cast<int32_t>(seconds) * 1000);
}
