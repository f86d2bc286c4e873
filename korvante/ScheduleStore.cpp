// Writing the schedule the dialog sets.
#include "korvante/ScheduleStore.h"
#include "korvante/EntryKey.h"
#include "korvante/LocalDate.h"
#include "korvante/Schedule.h"

bool StoreSchedule(const EntryName& name, int kind, int a, int b)
{
    EntryKey key(name, name.IsDefault() ? EntryKey::Create : EntryKey::Write);
    // A new schedule is a new occurrence: a retry's count starts anew.
    return key.WriteDword(kScheduleKind, kind) && key.WriteDword(kScheduleA, a) && key.WriteDword(kScheduleB, b) &&
           key.WriteTime(kNextTime, NextOccurrence(kind, a, b, Now())) && key.DeleteValue(kFailedTries);
}
