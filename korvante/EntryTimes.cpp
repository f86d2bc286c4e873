// An entry's next and due times, settled against the last finished run, and
// the marks that open and close a bracket.
#include "korvante/EntryTimes.h"
#include "korvante/EntryKey.h"
#include "korvante/LocalDate.h"
#include "korvante/Schedule.h"
#include "korvante/TimeText.h"

namespace {

double g_batchStart = 0.0;    // start of the open bracket, 0.0 when none is open
bool g_batchIsImport = false; // the open bracket is the catalog import, not a run
double g_lastBatch = 0.0;     // start of the last run this process finished

// Kept in memory too, so that a product key we may not write still settles times.
double LastBatch()
{
    const double stored = EntryKey("", EntryKey::Read).ReadTime(kLastBatch);
    return SecondsOf(stored) > SecondsOf(g_lastBatch) ? stored : g_lastBatch;
}

} // namespace

bool ReadSettledEntry(const char* name, EntrySchedule& entry)
{
    entry = EntrySchedule();
    const EntryKey key(name, EntryKey::Read);
    if (!key.Open())
        return false;
    entry.kind = static_cast<int>(key.ReadDword(kScheduleKind, kKindNone));
    entry.a = static_cast<int>(key.ReadDword(kScheduleA, 0));
    entry.b = static_cast<int>(key.ReadDword(kScheduleB, 0));
    entry.next = key.ReadTime(kNextTime);
    if (entry.next != 0.0 && SecondsOf(LastBatch()) > SecondsOf(entry.next)) {
        entry.next = IsRecurring(entry.kind) ? NextOccurrence(entry.kind, entry.a, entry.b, Now()) : 0.0;
        EntryKey(name, EntryKey::Write).WriteTime(kNextTime, entry.next);
    }
    return true;
}

int NextTimeOf(const char* name, double& time)
{
    EntrySchedule entry;
    ReadSettledEntry(name, entry);
    const double now = Now();
    time = entry.next;
    // The agent runs at once for a time that is not later than now, but it sees
    // the time as come only when now is strictly later: within that very second it
    // would run again and again. Report the second at which the time counts.
    if (SecondsOf(time) == SecondsOf(now))
        time = WholeSeconds(now + 1.0 / 86400.0);
    return entry.next != 0.0 && SecondsOf(now) > SecondsOf(entry.next);
}

int DueTimeOf(const char* name, double& time)
{
    EntrySchedule entry;
    ReadSettledEntry(name, entry);
    time = entry.next != 0.0 ? entry.next : DateFromFields(9999, 12, 31, 23, 59, 59);
    return IsRecurring(entry.kind) ? 1 : 0;
}

bool StoreNextTime(const char* name, double time)
{
    char text[kTimeTextSize];
    if (!IsValidEntryName(name) || (time != 0.0 && !TimeToText(time, text)))
        return false;
    EntryKey key(name, *name ? EntryKey::Write : EntryKey::Create);
    return key.WriteTime(kNextTime, time);
}

void MarkBatchStart(bool import)
{
    if (g_batchStart != 0.0)
        return;
    g_batchStart = Now();
    g_batchIsImport = import;
}

double MarkBatchEnd()
{
    const double start = g_batchStart;
    g_batchStart = 0.0;
    if (start == 0.0 || g_batchIsImport)
        return 0.0;
    if (SecondsOf(start) > SecondsOf(g_lastBatch))
        g_lastBatch = start;
    return g_lastBatch;
}
