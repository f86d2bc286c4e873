// The exported calls: each writes its journal line, then hands over to the part
// of the library that does the work. docs/korvante.md describes the behaviour.
#include "engine/Korvante.h"
#include "korvante/BoundedText.h"
#include "korvante/EntryKey.h"
#include "korvante/EntryTimes.h"
#include "korvante/Journal.h"
#include "korvante/LocalDate.h"
#include "korvante/MessageWait.h"
#include "korvante/Schedule.h"
#include "korvante/ScheduleDialog.h"
#include "korvante/UpdateRoutes.h"
#include "korvante/UpdateRunner.h"
#include <cstring>
#include <initializer_list>

namespace {

HINSTANCE g_module = nullptr;   // this DLL, which holds the dialog resource
// The last call was PrepareDefault. The agent opens the bracket of its catalog
// import right after that call, and only then.
bool g_afterPrepareDefault = false;

// The due time GetDueTime last reported, and for which name: the agent asks
// GetDueTime and then, for the same name, SetNextTime and RunUpdate.
char g_dueName[kKorvanteBufferSize];
double g_due = 0.0;

double RememberedDueTime(const EntryName& name)
{
    return name.Valid() && std::strcmp(name.Text(), g_dueName) == 0 ? g_due : 0.0;
}

// Every call starts here: its journal line, and the note that it is not PrepareDefault.
JournalLine Call(const char* operation)
{
    g_afterPrepareDefault = false;
    return JournalLine(operation);
}

void SetTime(COleDateTime* time, double value)
{
    time->m_dt = value;
    time->m_status = COleDateTime::valid;
}

// PrepareDefault and PrepareProduct: the engine buffer gets the entry's name.
// 1 when the entry's key exists.
int PrepareEntry(const EntryName& name, char* engineBuf)
{
    CopyToBuffer(engineBuf, name.Text());
    return EntryKey(name, EntryKey::Read).Open() ? 1 : 0;
}

// The two time questions: journal the call, look the time up, fill the
// caller's record if there is one.
int AnswerTime(const char* call, const char* name, COleDateTime* time,
               int (*lookUp)(const EntryName& name, double& time))
{
    Call(call).Name(name).Write();
    double value = 0.0;
    const int result = lookUp(EntryName(name), value);
    if (time)
        SetTime(time, value);
    return result;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = module;
        ::DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

KORVANTE_API int EditSchedule(const char* name)
{
    Call("EditSchedule").Name(name).Write();
    return EditEntrySchedule(g_module, name) ? 1 : 0;
}

KORVANTE_API int RefreshCatalog(int, char* engineBuf, const char* catalogPath)
{
    Call("RefreshCatalog").Name(catalogPath).Write();
    return RouteRefreshCatalog(catalogPath, engineBuf) ? 1 : 0;
}

KORVANTE_API int RunUpdate(const char* name, char* engineBuf, char*, char*, int)
{
    Call("RunUpdate").Name(name).Write();
    const EntryName entry(name);
    // The due time GetDueTime reported for it: one due time gives one update
    // across sessions. Without one the update runs due or not, which only an
    // administrator (or a caller that may write the key anyway) may ask for.
    const bool succeeded = RouteRunUpdate(entry, RememberedDueTime(entry), engineBuf);
    // A quit met while waiting (for the update, the service or the lock): the
    // program is closing, and the products after this one are not reached.
    if (QuitPending())
        MarkBatchInterrupted();
    return succeeded ? 1 : 0;
}

KORVANTE_API COleDateTime NextScheduledTime(int kind, int b, int a)
{
    Call("NextScheduledTime").Number(kind).Number(b).Number(a).Write();
    return COleDateTime(NextOccurrence(kind, a, b, Now()));
}

KORVANTE_API int PrepareUpdate(const char* name, char* jobA, char* jobB)
{
    Call("PrepareUpdate").Name(name).Buffer("A", jobA).Buffer("B", jobB).Write();
    return PrepareJob(name, jobA, jobB) ? 1 : 0;
}

KORVANTE_API int GetSchedule(const char* name, int* x, int* y, int* kind, int* a, int* b)
{
    Call("GetSchedule").Name(name).Write();
    EntrySchedule entry;
    const bool found = ReadSettledEntry(EntryName(name), entry);
    for (int* reserved : {x, y})
        if (reserved)
            *reserved = 0;
    if (kind)
        *kind = entry.kind;
    if (a)
        *a = entry.a;
    if (b)
        *b = entry.b;
    return found ? 1 : 0;
}

KORVANTE_API int PrepareDefault(const char* name, char* engineBuf)
{
    Call("PrepareDefault").Name(name).Write();
    g_afterPrepareDefault = true;
    return PrepareEntry(EntryName(name), engineBuf);
}

KORVANTE_API int PrepareProduct(const char* name, char* engineBuf)
{
    Call("PrepareProduct").Name(name).Write();
    return PrepareEntry(EntryName(name), engineBuf);
}

KORVANTE_API int GetNextTime(const char* name, COleDateTime* time)
{
    return AnswerTime("GetNextTime", name, time, NextTimeOf);
}

KORVANTE_API int GetDueTime(const char* name, COleDateTime* time)
{
    Call("GetDueTime").Name(name).Write();
    const EntryName entry(name);
    double due = 0.0;
    const int result = DueTimeOf(entry, due);
    // Kept for the SetNextTime and RunUpdate that follow.
    CopyToBuffer(g_dueName, entry.Text());
    g_due = entry.Valid() ? due : 0.0;
    if (time)
        SetTime(time, due);
    return result;
}

KORVANTE_API int SetNextTime(const char* name, COleDateTime time)
{
    const bool valid = time.m_status == COleDateTime::valid;
    Call("SetNextTime").Name(name).Time(time.m_dt, valid).Write();
    const EntryName entry(name);
    // The agent moves a due product's time on right before its RunUpdate. That
    // move is the update turn's, made only when the update runs: a product that
    // cannot run now stays due.
    const double due = RememberedDueTime(entry);
    if (valid && due != 0.0 && !entry.IsDefault() && SecondsOf(Now()) > SecondsOf(due))
        return 1;
    return valid && RouteSetNextTime(entry, time.m_dt) ? 1 : 0;
}

KORVANTE_API int BeginBatch()
{
    const bool import = g_afterPrepareDefault;
    Call("BeginBatch").Write();
    MarkBatchStart(import);
    return 1;
}

KORVANTE_API int EndBatch()
{
    Call("EndBatch").Write();
    RouteEndRun(MarkBatchEnd());
    return 1;
}
