// Storing the schedule the dialog sets.
#pragma once

// Stores ScheduleKind, ScheduleA and ScheduleB and sets NextTime to the schedule's
// next occurrence (none for kind 0). Only the default entry's key is created
// when missing. False when a value could not be written.
bool StoreSchedule(const char* name, int kind, int a, int b);

// Keeps the start of the run that ended as LastBatch, unless a later one is stored.
bool StoreLastBatch(double start);
