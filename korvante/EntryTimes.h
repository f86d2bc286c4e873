// When entries fall due, and what a finished run means for their times.
//
// A product's time is passed only by its own update turn (UpdateTurn.h), which
// moves it on. The default entry has no update: a run, the bracket BeginBatch ..
// EndBatch, passes its time when it is earlier than the run's start. That passed
// time is moved on when read: to the schedule's next occurrence for recurring
// kinds, to no time for the rest, and stored so that later reads agree. A run
// cut short by a close passes nothing, and neither does a mark ahead of the clock.
#pragma once
#include "korvante/EntryKey.h"

struct EntrySchedule {
    int kind = 0, a = 0, b = 0;
    double next = 0.0;   // 0.0: no time
};

// The entry's schedule with a passed time moved on; false, and all zero, for a
// bad name or a missing key.
bool ReadSettledEntry(const EntryName& name, EntrySchedule& entry);

// GetNextTime: the entry's time, 0.0 for none. Returns 1 when that time has come
// (now is strictly later) and no run has passed it yet.
int NextTimeOf(const EntryName& name, double& time);
// GetDueTime: the entry's time, or 9999-12-31 23:59:59 (never) when it has
// none. Returns 1 for the recurring kinds, whose time moves on when they update.
int DueTimeOf(const EntryName& name, double& time);
// SetNextTime: stores the time (0.0 removes it). Only the default entry's key
// is created when missing; false for a bad name, missing product or a time that
// cannot be written as text.
bool StoreNextTime(const EntryName& name, double time);

// The bracket of a run. Brackets do not nest: the first BeginBatch counts, and
// EndBatch without an open bracket does nothing. The agent's catalog import opens
// a bracket too; that one is no run and passes no time.
void MarkBatchStart(bool import);
// An update of the open run was left running because a quit came: the program is
// closing, and the products after that one were not reached. The run then passes
// no time, so they stay due.
void MarkBatchInterrupted();
// Closes the bracket. Returns the start of the whole run it closed (never ahead
// of now), also kept in memory as the last-run mark; 0.0 for none, for the
// import and for a run cut short.
double MarkBatchEnd();
// Stores start as the last-run mark (LastBatch): a default entry's time before
// it counts as passed. A start ahead of now is taken as now, and a mark already
// later stays. False when the key could not be written.
bool StoreLastBatch(double start);
