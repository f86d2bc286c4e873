// An entry's next and due times, the default entry's settled against the last finished run, and
// the marks that open and close a bracket.
#include "korvante/EntryTimes.h"
#include "korvante/EntryKey.h"
#include "korvante/LocalDate.h"
#include "korvante/Schedule.h"
#include "korvante/TimeText.h"

namespace {

double g_batchStart = 0.0;       // start of the open bracket, 0.0 when none is open
bool g_batchIsImport = false;    // the open bracket is the catalog import, not a run
bool g_batchInterrupted = false; // a close cut the open run short
double g_lastBatch = 0.0;        // start of the last run this process finished

// A clock set back after a run, or the autumn hour come round again, leaves a
// mark ahead of now. It would pass times that no run reached.
bool IsAhead(double time, double now)
{
    return SecondsOf(time) > SecondsOf(now);
}

// Kept in memory too, so that a product key we may not write still settles
// times. A mark ahead of now is dropped.
double LastBatch()
{
    const double now = Now();
    if (IsAhead(g_lastBatch, now))
        g_lastBatch = 0.0;
    double stored = EntryKey("", EntryKey::Read).ReadTime(kLastBatch);
    if (IsAhead(stored, now)) {
        EntryKey("", EntryKey::Write).DeleteValue(kLastBatch);
        stored = 0.0;
    }
    return SecondsOf(stored) > SecondsOf(g_lastBatch) ? stored : g_lastBatch;
}

} // namespace

bool ReadSettledEntry(const EntryName& name, EntrySchedule& entry)
{
    entry = EntrySchedule();
    const EntryKey key(name, EntryKey::Read);
    if (!key.Open())
        return false;
    entry.kind = static_cast<int>(key.ReadDword(kScheduleKind, kKindNone));
    entry.a = static_cast<int>(key.ReadDword(kScheduleA, 0));
    entry.b = static_cast<int>(key.ReadDword(kScheduleB, 0));
    entry.next = key.ReadTime(kNextTime);
    // A run's end tells nothing about a product: whoever may end a run could
    // otherwise make every due product count as updated.
    if (name.IsDefault() && entry.next != 0.0 && SecondsOf(LastBatch()) > SecondsOf(entry.next)) {
        entry.next = IsRecurring(entry.kind) ? NextOccurrence(entry.kind, entry.a, entry.b, Now()) : 0.0;
        EntryKey(name, EntryKey::Write).WriteTime(kNextTime, entry.next);
    }
    return true;
}

int NextTimeOf(const EntryName& name, double& time)
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

int DueTimeOf(const EntryName& name, double& time)
{
    EntrySchedule entry;
    ReadSettledEntry(name, entry);
    time = entry.next != 0.0 ? entry.next : DateFromFields(9999, 12, 31, 23, 59, 59);
    return IsRecurring(entry.kind) ? 1 : 0;
}

bool StoreNextTime(const EntryName& name, double time)
{
    char text[kTimeTextSize];
    if (!name.Valid() || (time != 0.0 && !TimeToText(time, text)))
        return false;
    EntryKey key(name, name.IsDefault() ? EntryKey::Create : EntryKey::Write);
    return key.WriteTime(kNextTime, time);
}

void MarkBatchStart(bool import)
{
    if (g_batchStart != 0.0)
        return;
    g_batchStart = Now();
    g_batchIsImport = import;
    g_batchInterrupted = false;
}

void MarkBatchInterrupted()
{
    if (g_batchStart != 0.0)
        g_batchInterrupted = true;
}

double MarkBatchEnd()
{
    const double start = g_batchStart;
    g_batchStart = 0.0;
    // The import passes no time, and neither does a run a close cut short.
    if (start == 0.0 || g_batchIsImport || g_batchInterrupted)
        return 0.0;
    const double now = Now();
    const double kept = IsAhead(start, now) ? now : start;
    if (SecondsOf(kept) > SecondsOf(g_lastBatch))
        g_lastBatch = kept;
    return kept;
}

bool StoreLastBatch(double start)
{
    const double now = Now(), last = LastBatch();
    // Never ahead of the clock, nor behind the mark of a run that started later:
    // agents of several sessions end runs.
    if (IsAhead(start, now))
        start = now;
    if (SecondsOf(last) > SecondsOf(start))
        start = last;
    g_lastBatch = start;
    return EntryKey("", EntryKey::Write).WriteTime(kLastBatch, start);
}
