// When a failed update is tried again, and how many tries it has had.
#include "korvante/UpdateRetry.h"
#include "korvante/LocalDate.h"
#include "korvante/Schedule.h"
#include "korvante/TimeText.h"
#include <cstring>

namespace {

// Minutes from a failed try to the next: after the first, after the second.
constexpr int kRetryMinutes[kMaxTries - 1] = {15, 60};

bool MayPass(const char* outcome)
{
    return std::strncmp(outcome, "exit ", 5) == 0 || std::strcmp(outcome, "timed out") == 0 ||
           std::strcmp(outcome, "failed to start") == 0;
}

// When the entry is tried again after its try number `tries` failed; 0.0 when its
// next occurrence comes first (that is the next try), or it has no time to keep.
double RetryTime(const EntryKey& key, int tries, double now)
{
    const int kind = static_cast<int>(key.ReadDword(kScheduleKind, kKindNone));
    const double retry = WholeSeconds(now + kRetryMinutes[tries - 1] / 1440.0);
    const double next = key.ReadTime(kNextTime);
    if (!IsRecurring(kind))
        return next != 0.0 ? retry : 0.0;
    // The update turn moved the time on to the next occurrence before the update
    // ran; a run asked for with no due time leaves it where it was.
    const double occurrence = SecondsOf(next) > SecondsOf(now)
                                  ? next
                                  : NextOccurrence(kind, static_cast<int>(key.ReadDword(kScheduleA, 0)),
                                                   static_cast<int>(key.ReadDword(kScheduleB, 0)), now);
    return SecondsOf(retry) < SecondsOf(occurrence) ? retry : 0.0;
}

} // namespace

void SettleTry(EntryKey& key, bool succeeded, char* outcome)
{
    const DWORD failedBefore = key.ReadDword(kFailedTries, 0);
    const int tries = static_cast<int>(failedBefore < kMaxTries ? failedBefore : kMaxTries - 1) + 1;
    const bool failed = !succeeded && MayPass(outcome);
    const double retry = failed && tries < kMaxTries ? RetryTime(key, tries, Now()) : 0.0;
    if (failed || tries > 1)
        ::wsprintfA(outcome + std::strlen(outcome), " (try %d of %d)", tries, kMaxTries);
    if (retry != 0.0) {
        key.WriteTime(kNextTime, retry);
        key.WriteDword(kFailedTries, static_cast<DWORD>(tries));
        return;
    }
    key.DeleteValue(kFailedTries);
    if (!IsRecurring(static_cast<int>(key.ReadDword(kScheduleKind, kKindNone))))
        key.WriteTime(kNextTime, 0.0);
}
