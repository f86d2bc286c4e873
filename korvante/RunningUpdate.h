// The record of an update being run, and the update service's stop.
//
// A product's key holds RunningUpdate from just before its update's process
// runs until that update's outcome is written: the process's id and creation
// time, so that a later look can tell that very process from another that took
// its id. A record found with its process gone means the update was cut off
// (the service or the agent was killed, the machine went down) and its outcome
// never written: the product gets "interrupted" and one more try. A record whose
// process still runs means no second copy may start beside it.
#pragma once
#include "korvante/EntryKey.h"

constexpr char kRunningUpdate[] = "RunningUpdate";     // REG_SZ "PID CREATION KIND", see RunningUpdate.cpp
constexpr char kInterruptedRun[] = "InterruptedRun";   // REG_DWORD 1: the next run is an interrupted one's retry

// Writes the record of a process started suspended; retry: this run is the
// retry of an interrupted one. False when it could not be written.
bool RecordRunningUpdate(EntryKey& key, HANDLE process, DWORD processId, bool retry);
// The outcome "left running" is written and the process goes on: the record
// stays, marked so, and the product's next run waits for that process.
void MarkLeftRunning(EntryKey& key);
// The product is due now, unless an earlier time is stored: for a run that
// did not start after its turn had moved a recurring time on.
void KeepDue(EntryKey& key);
// An update of the key that was interrupted: "interrupted", and the next run is
// its one retry (with makeDue, that run is due now); a retry that was itself
// interrupted gets "interrupted again" and is not tried again (with makeDue,
// its time is settled as after any try that gets none). The record goes.
// outcome receives the text (48 bytes).
void RecordInterrupted(EntryKey& key, bool wasRetry, bool makeDue, char* outcome);

enum class EarlierRun {
    None,          // no record: run
    Interrupted,   // its process was gone with no outcome: recorded "interrupted"; this run is its retry
    Finished,      // its process ended while we waited; outcome holds its result, recorded for this turn
    StillRunning,  // its process still runs: nothing may start
};

// Before a product's update starts: settles the record an earlier run left.
// A process still running is waited for up to waitMs: in the service until it
// stops, in-process while dispatching the program's messages (a quit ends it).
// An earlier run left running, whose outcome was written, is let go once its
// process has ended; one whose outcome was never written and whose process
// ends now gives this turn its result ("exit N"), and nothing more runs.
EarlierRun SettleEarlierRun(EntryKey& key, DWORD waitMs, char* outcome, DWORD& exitCode);
// Whether the product's update of an earlier run still runs (no wait): for a
// turn that wants to know before it moves the product's time on.
bool EarlierUpdateStillRunning(const char* name);
// At the service's start: every product whose record names a process that is
// gone is recorded "interrupted" and made due once more; report (may be null)
// is told each product and its outcome.
void SettleInterruptedUpdates(void (*report)(const char* name, const char* outcome));

// The service's stop. Until PrepareUpdateStop is called (in-process, always)
// none of this applies.
void PrepareUpdateStop();
// No update starts any more ("service stopping"); with endRunning (shutdown)
// the updates being run are ended with their processes, recorded "interrupted"
// and tried once more after the start.
void StopUpdates(bool endRunning);
bool UpdatesStopping();
// Set once the running updates must end; null in-process.
HANDLE UpdatesEndEvent();
// Set once no update may start; null in-process.
HANDLE UpdatesStopEvent();
// Back to the state before PrepareUpdateStop, as in-process (the tests run
// the server and the in-process path in one program). Only once no update runs.
void ResetUpdateStop();
