// The modal dialog that shows and changes an entry's schedule.
#pragma once
#include <windows.h>

// Shows the dialog for the entry, owned by the foreground window when that is
// one of this thread's, else by none. OK stores kind, a, b and the schedule's
// next time (when that fails, the dialog says so and stays open); Cancel or Esc
// changes nothing. No dialog for a bad name or a product
// without a key. True when a schedule was stored.
bool EditEntrySchedule(HINSTANCE module, const char* name);
