// Storing the schedule the dialog sets.
#pragma once
#include "korvante/EntryKey.h"

// Stores ScheduleKind, ScheduleA and ScheduleB and sets NextTime to the schedule's
// next occurrence (none for kind 0). Only the default entry's key is created
// when missing, and a waiting retry's count is cleared. False when a value
// could not be written.
bool StoreSchedule(const EntryName& name, int kind, int a, int b);
