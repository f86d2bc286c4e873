// One update at a time on the whole machine, and one per due time: the update
// service and the library's in-process path both run updates through here, so
// two agents in two sessions that ask for the same due time give one update.
#pragma once
#include <windows.h>

// The machine-wide lock around every update (see CreateMachineMutex).
constexpr char kUpdateLockName[] = "TesvoUpdateRun";

enum class Turn {
    Ran,         // the update ran; status holds its outcome
    AlreadyRun,  // the product's LastRun is not earlier than the due time seen: nothing ran
    NoLock,      // the lock could not be had: nothing ran
};

// Takes the lock (waitForLock waits on the mutex and returns WAIT_OBJECT_0 once
// it is held), then runs the product's update unless it already ran for
// dueSeen (0.0: no due time known, it runs). succeeded: the command exited 0.
Turn RunUpdateTurn(const char* name, double dueSeen, char* status, bool& succeeded, DWORD (*waitForLock)(HANDLE));

// The due time GetDueTime last reported, kept for the RunUpdate of that name that follows.
void RememberDueTime(const char* name, double due);
double RememberedDueTime(const char* name);
