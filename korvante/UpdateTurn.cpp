// Serializing updates machine-wide and running each due time once.
#include "korvante/UpdateTurn.h"
#include "korvante/BoundedText.h"
#include "korvante/LocalDate.h"
#include "korvante/MessageWait.h"
#include "korvante/PolicyHold.h"
#include "korvante/RunningUpdate.h"
#include "korvante/Schedule.h"
#include "korvante/SystemCalls.h"
#include "korvante/UpdateRunner.h"

namespace {

constexpr DWORD kDefaultTimeoutSeconds = 600;
constexpr DWORD kMaxTimeoutSeconds = 24 * 60 * 60;
constexpr DWORD kMarginMs = 60 * 1000;

// A minute more than the time-out, or twice a time-out shorter than a minute.
DWORD WithMargin(DWORD ms)
{
    return ms + (ms < kMarginMs ? ms : kMarginMs);
}

// Whether the time seen is still the product's due time: the stored one, come
// (now strictly later) and not passed by a run since.
Turn Check(const EntryKey& key, double dueSeen)
{
    const long long due = SecondsOf(dueSeen), now = SecondsOf(Now());
    if (now <= due)
        return Turn::NotDue;
    const double stored = key.ReadTime(kNextTime);
    if (stored == 0.0 || SecondsOf(stored) != due)
        return Turn::AlreadyRun;
    // A LastRun ahead of the clock (a clock set back since) tells nothing.
    const long long ran = SecondsOf(key.ReadTime(kLastRun));
    return ran > due && ran <= now ? Turn::AlreadyRun : Turn::Ran;
}

// A due run waits for the moment the policies allow; a forced one only for
// updates being allowed at all.
Turn PolicyCheck(const EntryName& name, double dueSeen)
{
    const double allowed = HeldRunTime(name.Text(), dueSeen != 0.0 ? dueSeen : Now());
    if (allowed == kHeldOff)
        return Turn::Held;
    return dueSeen != 0.0 && SecondsOf(allowed) >= SecondsOf(Now()) ? Turn::Held : Turn::Ran;
}

const char* TurnText(Turn turn)
{
    return turn == Turn::NotDue ? "not due" : turn == Turn::Held ? "held by policy" : "already run";
}

} // namespace

DWORD UpdateTimeoutMs(const EntryName& name)
{
    DWORD seconds = EntryKey(name, EntryKey::Read).ReadDword(kUpdateTimeout, kDefaultTimeoutSeconds);
    if (seconds == 0)
        seconds = kDefaultTimeoutSeconds;
    return (seconds < kMaxTimeoutSeconds ? seconds : kMaxTimeoutSeconds) * 1000;
}

DWORD LockWaitMs(const EntryName& name)
{
    return WithMargin(UpdateTimeoutMs(name));
}

DWORD RunReplyLimitMs(const EntryName& name)
{
    return LockWaitMs(name) + WithMargin(UpdateTimeoutMs(name));
}

Turn RunUpdateTurn(const EntryName& name, double dueSeen, char* status, bool& succeeded, LockWait waitForLock)
{
    succeeded = false;
    const HANDLE lock = CreateMachineMutex(kUpdateLockName);
    const DWORD waited = lock ? waitForLock(lock, LockWaitMs(name)) : WAIT_FAILED;
    if (waited != WAIT_OBJECT_0) {
        if (lock)
            ::CloseHandle(lock);
        CopyToBuffer(status, waited == kWaitEndedByQuit ? "closing"
                             : UpdatesStopping()        ? "service stopping"
                                                        : "update lock unavailable");
        return Turn::NoLock;
    }
    EntryKey key(name, EntryKey::Write);
    Turn turn = dueSeen == 0.0 || !key.Open() ? Turn::Ran : Check(key, dueSeen);
    if (turn == Turn::Ran)
        turn = PolicyCheck(name, dueSeen);
    // Neither during the service's stop nor beside an earlier copy still running:
    // the product stays due, its time not moved.
    const char* notNow = turn != Turn::Ran      ? nullptr
                         : UpdatesStopping()    ? "service stopping"
                         : EarlierUpdateStillRunning(name.Text()) ? "earlier update still running"
                                                                  : nullptr;
    if (notNow) {
        CopyToBuffer(status, notNow);
        ::ReleaseMutex(lock);
        ::CloseHandle(lock);
        return Turn::NoLock;
    }
    if (turn == Turn::Ran) {
        const int kind = static_cast<int>(key.ReadDword(kScheduleKind, kKindNone));
        // The retry spacing (UpdateRetry.cpp) counts from the moved time.
        if (dueSeen != 0.0 && IsRecurring(kind))
            key.WriteTime(kNextTime, NextOccurrence(kind, static_cast<int>(key.ReadDword(kScheduleA, 0)),
                                                    static_cast<int>(key.ReadDword(kScheduleB, 0)), Now()));
        char command[kKorvanteBufferSize];
        const bool hasCommand = key.ReadString(kUpdateCommand, command, sizeof command) && command[0];
        succeeded = RunJob(name.Text(), status);
        // A one-off with nothing to run has had its turn all the same: its time
        // would otherwise stay due for ever.
        if (dueSeen != 0.0 && !hasCommand && !IsRecurring(kind))
            key.WriteTime(kNextTime, 0.0);
    } else {
        CopyToBuffer(status, TurnText(turn));
    }
    ::ReleaseMutex(lock);
    ::CloseHandle(lock);
    return turn;
}
