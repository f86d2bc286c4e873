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
    // Creation flags differ: CREATE_NO_WINDOW is NT 4 and later.
    BOOL(WINAPI* createProcess)(const char* program, char* command, SECURITY_ATTRIBUTES* process,
                                SECURITY_ATTRIBUTES* thread, BOOL inherit, DWORD flags, void* environment,
                                const char* directory, STARTUPINFOA* startup, PROCESS_INFORMATION* information);
    // Job objects, 2000 and later; null where the system has none.
    HANDLE(WINAPI* createJobObject)(SECURITY_ATTRIBUTES* attributes, const char* name);
    BOOL(WINAPI* assignProcessToJobObject)(HANDLE job, HANDLE process);
    BOOL(WINAPI* terminateJobObject)(HANDLE job, UINT exitCode);
    // The running system as GetVersionExA tells it: VER_PLATFORM_*, major and minor version.
    DWORD platform, major, minor;
};

// Binds a call by name where older systems lack it; false, and null, where the
// module (which may be null) has none.
template <typename Function>
bool BindCall(Function& function, HMODULE module, const char* name)
{
    function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
    return function != nullptr;
}

// The table in force: the running system's, unless a test replaced entries.
SystemCalls& System();
// Fills the table from the running system again (tests restore it so).
void ResetSystemCalls();

// True on Windows NT of at least this major version; never on 95, 98 or Me.
bool IsNtFrom(DWORD major);

// A mutex shared by every session of the machine: "Global\name" where the system
// knows such names, the plain name where it refuses them (before 2000, where
// there is one session anyway). Any user may wait on it and release it. Null
// when it can be neither created nor opened; a "Global\" mutex this user may
// not open is never replaced by the plain name.
HANDLE CreateMachineMutex(const char* name);
