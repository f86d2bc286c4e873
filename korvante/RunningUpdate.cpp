// The running-update record and the service's stop: see RunningUpdate.h.
//
// The record is "PID CREATION KIND": the process id in decimal, its creation
// time as 16 hexadecimal digits (0 where the system cannot tell it), and one
// letter: f a first run, r the retry of an interrupted one, l left running (its
// outcome is written). A record that cannot be read counts as a first run whose
// process is gone: it is tried once more, never left to block the product.
#include "korvante/RunningUpdate.h"
#include "korvante/LocalDate.h"
#include "korvante/MessageWait.h"
#include "korvante/SystemCalls.h"
#include "korvante/UpdateRetry.h"
#include <cstring>
#include <initializer_list>

namespace {

HANDLE g_stop = nullptr;   // set: no update starts
HANDLE g_end = nullptr;    // set: the running updates end

struct Record {
    DWORD processId = 0;
    unsigned long long created = 0;
    char kind = 'f';
};

// The process's creation time; 0 where the system has no GetProcessTimes (95, 98, Me).
unsigned long long CreationTime(HANDLE process)
{
    BOOL(WINAPI * getTimes)(HANDLE, FILETIME*, FILETIME*, FILETIME*, FILETIME*);
    FILETIME created{}, exited, kernel, user;
    if (!BindCall(getTimes, ::GetModuleHandleA("kernel32.dll"), "GetProcessTimes") ||
        !getTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return static_cast<unsigned long long>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

// Reads exactly 16 hexadecimal digits at text.
bool ReadHex16(const char* text, unsigned long long& value)
{
    value = 0;
    for (int i = 0; i < 16; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<unsigned>(digit);
    }
    return true;
}

bool ReadRecord(const EntryKey& key, Record& record)
{
    char text[64];
    if (!key.ReadString(kRunningUpdate, text, sizeof text))
        return false;
    const char* end = text;
    record.processId = 0;
    for (; *end >= '0' && *end <= '9' && end < text + 10; ++end)
        record.processId = record.processId * 10 + static_cast<DWORD>(*end - '0');
    const char* kind = end + 18;
    if (end != text && *end == ' ' && ReadHex16(end + 1, record.created) && kind[-1] == ' ' &&
        (kind[0] == 'f' || kind[0] == 'r' || kind[0] == 'l') && !kind[1])
        record.kind = kind[0];
    else
        record.processId = 0;
    return true;
}

// The recorded process, opened to be waited for while it still runs; null when
// it is gone, or another process has its id now. A process this caller may not
// open (access denied: it exists) counts as still running.
HANDLE OpenRecorded(const Record& record, bool& running)
{
    running = false;
    if (!record.processId)
        return nullptr;
    const HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, record.processId);
    if (!process) {
        running = ::GetLastError() == ERROR_ACCESS_DENIED;
        return nullptr;
    }
    const unsigned long long created = CreationTime(process);
    if ((record.created && created && created != record.created) || ::WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
        ::CloseHandle(process);
        return nullptr;
    }
    running = true;
    return process;
}

// Waits for the earlier copy: in the service until it stops, in-process while
// dispatching the program's messages (a quit ends the wait).
bool WaitForEnd(HANDLE process, DWORD ms)
{
    if (!g_stop)
        return WaitDispatchingMessages(process, ms) == WAIT_OBJECT_0;
    const HANDLE processOrStop[] = {process, g_stop};
    return ::WaitForMultipleObjects(2, processOrStop, FALSE, ms) == WAIT_OBJECT_0;
}

bool IsSet(HANDLE event)
{
    return event && ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

} // namespace

bool RecordRunningUpdate(EntryKey& key, HANDLE process, DWORD processId, bool retry)
{
    const unsigned long long created = CreationTime(process);
    char text[64];
    ::wsprintfA(text, "%lu %08lX%08lX %c", static_cast<unsigned long>(processId),
                static_cast<unsigned long>(created >> 32), static_cast<unsigned long>(created & 0xFFFFFFFFu),
                retry ? 'r' : 'f');
    return key.WriteString(kRunningUpdate, text);
}

void MarkLeftRunning(EntryKey& key)
{
    char text[64];
    if (key.ReadString(kRunningUpdate, text, sizeof text) && text[0]) {
        text[std::strlen(text) - 1] = 'l';
        key.WriteString(kRunningUpdate, text);
    }
}

void KeepDue(EntryKey& key)
{
    // Due now, unless an earlier time is stored (then it is due already).
    const double now = Now(), next = key.ReadTime(kNextTime);
    if (next == 0.0 || SecondsOf(next) > SecondsOf(now))
        key.WriteTime(kNextTime, now);
}

void RecordInterrupted(EntryKey& key, bool wasRetry, bool makeDue, char* outcome)
{
    if (wasRetry) {
        // Twice cut off: the update itself may be what brings the machine down.
        ::lstrcpyA(outcome, "interrupted again");
        key.DeleteValue(kInterruptedRun);
        if (makeDue)
            SettleTry(key, false, outcome);
    } else {
        ::lstrcpyA(outcome, "interrupted");
        key.WriteDword(kInterruptedRun, 1);
        if (makeDue)
            KeepDue(key);
    }
    key.WriteString(kLastOutcome, outcome);
    key.DeleteValue(kRunningUpdate);
}

EarlierRun SettleEarlierRun(EntryKey& key, DWORD waitMs, char* outcome, DWORD& exitCode)
{
    Record record;
    if (!ReadRecord(key, record))
        return EarlierRun::None;
    bool running = false;
    const HANDLE process = OpenRecorded(record, running);
    if (running && (!process || !WaitForEnd(process, waitMs))) {
        if (process)
            ::CloseHandle(process);
        return EarlierRun::StillRunning;
    }
    EarlierRun settled = EarlierRun::None;
    if (record.kind == 'l') {
        key.DeleteValue(kRunningUpdate);
    } else if (process && ::GetExitCodeProcess(process, &exitCode)) {
        // Its outcome, written now, is this turn's: it ran for the time still in hand.
        ::wsprintfA(outcome, "exit %lu", static_cast<unsigned long>(exitCode));
        settled = EarlierRun::Finished;
    } else {
        // Found by the run about to start: that run is its retry, due already.
        RecordInterrupted(key, record.kind == 'r', false, outcome);
        settled = EarlierRun::Interrupted;
    }
    if (process)
        ::CloseHandle(process);
    return settled;
}

bool EarlierUpdateStillRunning(const char* name)
{
    const EntryKey key(name, EntryKey::Read);
    Record record;
    bool running = false;
    if (!ReadRecord(key, record))
        return false;
    if (const HANDLE process = OpenRecorded(record, running))
        ::CloseHandle(process);
    return running;
}

void SettleInterruptedUpdates(void (*report)(const char* name, const char* outcome))
{
    HKEY products;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKeyPath, 0, KEY_READ, &products) != ERROR_SUCCESS)
        return;
    char name[256];
    for (DWORD index = 0, length = sizeof name;
         ::RegEnumKeyExA(products, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = sizeof name) {
        EntryKey key(name, EntryKey::Write);
        Record record;
        bool running = false;
        if (!ReadRecord(key, record))
            continue;
        if (const HANDLE process = OpenRecorded(record, running))
            ::CloseHandle(process);
        char outcome[48];
        if (running)
            continue;   // the next turn waits for it
        if (record.kind == 'l') {
            key.DeleteValue(kRunningUpdate);
            continue;
        }
        RecordInterrupted(key, record.kind == 'r', true, outcome);
        if (report)
            report(name, outcome);
    }
    ::RegCloseKey(products);
}

void PrepareUpdateStop()
{
    if (!g_stop)
        g_stop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!g_end)
        g_end = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

void StopUpdates(bool endRunning)
{
    if (g_stop)
        ::SetEvent(g_stop);
    if (endRunning && g_end)
        ::SetEvent(g_end);
}

bool UpdatesStopping()
{
    return IsSet(g_stop);
}

HANDLE UpdatesEndEvent()
{
    return g_end;
}

HANDLE UpdatesStopEvent()
{
    return g_stop;
}

void ResetUpdateStop()
{
    for (HANDLE* event : {&g_stop, &g_end}) {
        if (*event)
            ::CloseHandle(*event);
        *event = nullptr;
    }
}
