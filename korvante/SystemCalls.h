// The system calls whose presence or rules differ between the Windows versions
// the library runs on, from NT 3.51 and 95 to today. The library reaches them
// only through this table: it is filled from the running system on first use,
// and the in-process tests put in entries that play an older system's rules.
#pragma once
#include <windows.h>

struct SystemCalls {
    // Refuses a wake mask with a flag the system does not know (QS_RAWINPUT before XP).
    DWORD(WINAPI* msgWaitForMultipleObjects)(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms,
                                             DWORD wakeMask);
    // Not implemented on 95, 98 and Me: fails with ERROR_CALL_NOT_IMPLEMENTED.
    BOOL(WINAPI* moveFileEx)(const char* from, const char* to, DWORD flags);
    // "Global\" names are refused before 2000 (NT 4 Terminal Server excepted).
    HANDLE(WINAPI* createMutex)(SECURITY_ATTRIBUTES* attributes, BOOL owned, const char* name);
    // Job objects, 2000 and later; null where the system has none.
    HANDLE(WINAPI* createJobObject)(SECURITY_ATTRIBUTES* attributes, const char* name);
    BOOL(WINAPI* assignProcessToJobObject)(HANDLE job, HANDLE process);
    BOOL(WINAPI* terminateJobObject)(HANDLE job, UINT exitCode);
    // PIPE_REJECT_REMOTE_CLIENTS where the system knows it (Vista and later), else
    // 0: an unknown pipe-mode bit makes CreateNamedPipeA fail.
    DWORD pipeRejectRemote;
    // FILE_FLAG_FIRST_PIPE_INSTANCE where the system knows it (2000 and later), else 0.
    DWORD pipeFirstInstance;
    // The running system as GetVersionExA tells it: VER_PLATFORM_*, major and minor version.
    DWORD platform, major, minor;
};

// The table in force: the running system's, unless a test replaced entries.
SystemCalls& System();
// Fills the table from the running system again (tests restore it so).
void ResetSystemCalls();

// A mutex shared by every session: "Global\name" where the system knows such
// names (2000 and later), the plain name where it does not. Any user may wait
// on it. Null when it can be neither created nor opened.
HANDLE CreateMachineMutex(const char* name);
