// The arithmetic behind the schedule timer, kept apart so it can be checked alone.
#pragma once
#include "framework/OleDateTime.h"
#include <cmath>
#include <cstdint>
#include <cstring>

// A schedule time is "no time" when its double is 0.0 or -0.0; the status is not looked at.
inline bool IsZeroTime(const COleDateTime& when)
{
    uint64_t bits;
    std::memcpy(&bits, &when.m_dt, sizeof bits);
    return (bits << 1) == 0;
}

// The longest wait, in whole seconds to the time: a daylight-saving change that
// sends no message, or a clock that drifts, moves a wait by no more than an hour's worth.
constexpr double kLongestWaitSeconds = 3600;
// A timer may come a tick early; the run must not, or it finds nothing due.
constexpr UINT kTimerSlackMs = 10;

// Timer delay for a time `seconds` (>= 0) after the present whole second, when
// the clock is msIntoSecond milliseconds into that second. A time is due once the
// present, in whole seconds, is strictly later than it: the timer fires at the
// first whole second after the time, never inside the time's own second. The span
// is read to the millisecond, so that rounding noise in a whole-second time never
// makes the timer early. A time further ahead than the longest wait is waited for
// as if it were that far: the early wake-up finds nothing due and waits again.
inline UINT DelayUntilDueMs(double seconds, unsigned msIntoSecond)
{
    if (!(seconds < kLongestWaitSeconds))
        seconds = kLongestWaitSeconds;
    const double wholeSeconds = std::floor(std::round(seconds * 1000.0) / 1000.0);
    return static_cast<UINT>(wholeSeconds + 1) * 1000 - msIntoSecond + kTimerSlackMs;
}

// Spacing of runs while the earliest time stays in the past after each run: a
// second first, then twice the last, up to an hour.
constexpr UINT kFirstRetryMs = 1000;
constexpr UINT kLongestRetryMs = 3600 * 1000;
inline UINT NextRetryMs(UINT lastMs)
{
    if (lastMs == 0)
        return kFirstRetryMs;
    return lastMs >= kLongestRetryMs / 2 ? kLongestRetryMs : lastMs * 2;
}
