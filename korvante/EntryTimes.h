// When entries fall due, and what a finished run means for their times.
//
// A run is the bracket BeginBatch .. EndBatch; it passes every time earlier than
// its start, since the agent updated whatever was due by then. A passed time is
// moved on when read: to the schedule's next occurrence for recurring kinds, to
// no time for the rest. The moved time is stored so that later reads agree.
#pragma once

struct EntrySchedule {
    int kind = 0, a = 0, b = 0;
    double next = 0.0;   // 0.0: no time
};

// The entry's schedule with a passed time moved on; false, and all zero, for a
// bad name or a missing key.
bool ReadSettledEntry(const char* name, EntrySchedule& entry);

// GetNextTime: the entry's time, 0.0 for none. Returns 1 when that time has come
// (now is strictly later) and no run has passed it yet.
int NextTimeOf(const char* name, double& time);
// GetDueTime: the entry's time, or 9999-12-31 23:59:59 (never) when it has
// none. Returns 1 for the recurring kinds, whose time the agent moves on
// before updating.
int DueTimeOf(const char* name, double& time);
// SetNextTime: stores the time (0.0 removes it). Only the default entry's key
// is created when missing; false for a bad name, missing product or a time that
// cannot be written as text.
bool StoreNextTime(const char* name, double time);

// The bracket of a run. Brackets do not nest: the first BeginBatch counts, and
// EndBatch without an open bracket does nothing. The agent's catalog import opens
// a bracket too; that one is no run and passes no time.
// MarkBatchEnd returns the start of the run it closed, to be kept as the
// last-run mark (StoreLastBatch); 0.0 for none or for the import.
void MarkBatchStart(bool import);
double MarkBatchEnd();
