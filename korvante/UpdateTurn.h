// The update turn: the one place where a due product's time moves on and its
// update runs, in the update service or in the library's own process. Under the
// machine-wide lock it checks that the time the caller saw is still the stored
// one and has come, moves it on and runs the update: one compare-and-set, so
// that two sessions that saw the same due time give one update, and a retry one
// of them stored is never passed by the other's late call.
#pragma once
#include "korvante/EntryKey.h"
#include <windows.h>

// The machine-wide lock around every update (see CreateMachineMutex).
constexpr char kUpdateLockName[] = "TesvoUpdateRun";

enum class Turn {
    Ran,         // the update ran; status holds its outcome
    AlreadyRun,  // the stored time moved on since the caller saw it, or a run passed it: nothing ran
    NotDue,      // the time the caller saw has not come: nothing ran
    NoLock,      // the lock could not be had in time, or a quit came first: nothing ran, still due
};

// Waits for the lock up to ms: WAIT_OBJECT_0 once it is held, kWaitEndedByQuit
// when a quit came first (see MessageWait.h), anything else when it was not had.
using LockWait = DWORD (*)(HANDLE lock, DWORD ms);

// The product's UpdateTimeoutSeconds (default 600, at most a day), in milliseconds.
DWORD UpdateTimeoutMs(const EntryName& name);
// How long a turn waits for the lock: an update's time-out, plus a margin.
DWORD LockWaitMs(const EntryName& name);
// How long a caller waits for the service's answer to a RunUpdate: the wait for
// the lock and the update itself, plus a margin.
DWORD RunReplyLimitMs(const EntryName& name);

// Runs the product's update when the time it fell due, dueSeen (as GetDueTime
// reported it), is still the stored NextTime, has come, and no run passed it.
// The time of a recurring kind is first moved on to the stored schedule's next
// occurrence; a one-off's is settled by its try (UpdateRetry.h). dueSeen 0.0
// runs the update whether or not it is due, moving nothing: only for callers
// that may write the key anyway. succeeded: the command exited 0.
Turn RunUpdateTurn(const EntryName& name, double dueSeen, char* status, bool& succeeded, LockWait waitForLock);
