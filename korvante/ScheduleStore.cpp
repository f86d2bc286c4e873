// Writing an entry's schedule, and the product key's last-run mark.
#include "korvante/ScheduleStore.h"
#include "korvante/EntryKey.h"
#include "korvante/LocalDate.h"
#include "korvante/Schedule.h"

bool StoreSchedule(const char* name, int kind, int a, int b)
{
    EntryKey key(name, *name ? EntryKey::Write : EntryKey::Create);
    return key.WriteDword(kScheduleKind, kind) && key.WriteDword(kScheduleA, a) && key.WriteDword(kScheduleB, b) &&
           key.WriteTime(kNextTime, NextOccurrence(kind, a, b, Now()));
}

bool StoreLastBatch(double start)
{
    EntryKey key("", EntryKey::Write);
    // Agents of several sessions end runs: the mark only moves forward.
    if (start == 0.0 || SecondsOf(key.ReadTime(kLastBatch)) >= SecondsOf(start))
        return key.Open();
    return key.WriteTime(kLastBatch, start);
}
