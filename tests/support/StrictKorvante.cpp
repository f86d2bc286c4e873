// A strict update library, for the end-to-end run count and the figures. Each
// entry's time is its NextTime value, answered exactly as stored: never a second
// later, and moved on only when the agent sets it. GetDueTime says "advance"
// unless the entry's ScheduleKind is 3. Nothing else is done; every call is
// journalled as the stand-in does it (KORVANTE_JOURNAL).
#include "engine/Korvante.h"
#include "korvante/EntryKey.h"
#include "korvante/Journal.h"
#include "korvante/LocalDate.h"

namespace {

int Logged(const char* operation, const char* name)
{
    JournalLine line(operation);
    if (name)
        line.Name(name);
    line.Write();
    return 1;
}

int StoredTime(const char* operation, const char* name, COleDateTime* time)
{
    Logged(operation, name);
    const EntryKey key(name, EntryKey::Read);
    time->m_dt = key.ReadTime(kNextTime);
    time->m_status = COleDateTime::valid;
    return key.ReadDword(kScheduleKind, 0) != kKindNotAdvanced;
}

} // namespace

KORVANTE_API int EditSchedule(const char* name) { return Logged("EditSchedule", name); }
KORVANTE_API int RefreshCatalog(int, char*, const char* path) { return Logged("RefreshCatalog", path); }
KORVANTE_API int RunUpdate(const char* name, char*, char*, char*, int) { return Logged("RunUpdate", name); }
KORVANTE_API int PrepareUpdate(const char* name, char*, char*) { return Logged("PrepareUpdate", name); }
KORVANTE_API int PrepareDefault(const char* name, char*) { return Logged("PrepareDefault", name); }
KORVANTE_API int PrepareProduct(const char* name, char*) { return Logged("PrepareProduct", name); }
KORVANTE_API int BeginBatch() { return Logged("BeginBatch", nullptr); }
KORVANTE_API int EndBatch() { return Logged("EndBatch", nullptr); }

KORVANTE_API COleDateTime NextScheduledTime(int kind, int b, int a)
{
    JournalLine("NextScheduledTime").Number(kind).Number(b).Number(a).Write();
    return COleDateTime(Now() + 1.0);   // a day on
}

KORVANTE_API int GetSchedule(const char* name, int*, int*, int* kind, int* a, int* b)
{
    Logged("GetSchedule", name);
    *kind = static_cast<int>(EntryKey(name, EntryKey::Read).ReadDword(kScheduleKind, 0));
    *a = *b = 0;
    return 1;
}

KORVANTE_API int GetNextTime(const char* name, COleDateTime* time)
{
    StoredTime("GetNextTime", name, time);
    return 0;   // the catalog is never held back
}

KORVANTE_API int GetDueTime(const char* name, COleDateTime* time) { return StoredTime("GetDueTime", name, time); }

KORVANTE_API int SetNextTime(const char* name, COleDateTime time)
{
    Logged("SetNextTime", name);
    return EntryKey(name, EntryKey::Create).WriteTime(kNextTime, time.m_dt) ? 1 : 0;
}
