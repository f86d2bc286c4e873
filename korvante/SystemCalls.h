// The system calls whose presence or rules differ between the Windows versions
// the library runs on, from NT 3.51 and 95 to today. The library reaches them
// only through this table: it is filled from the running system on first use,
// and the in-process tests put in entries that play an older system's rules.
#pragma once
#include <windows.h>
#include <winsvc.h>

struct SystemCalls {
    // Refuses a wake mask with a flag the system does not know (QS_RAWINPUT before XP).
    DWORD(WINAPI* msgWaitForMultipleObjects)(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms,
                                             DWORD wakeMask);
    // Not implemented on 95, 98 and Me: fails with ERROR_CALL_NOT_IMPLEMENTED.
    BOOL(WINAPI* moveFileEx)(const char* from, const char* to, DWORD flags);
    // The plain move, which 95, 98 and Me use instead (twice, for a replacing move).
    BOOL(WINAPI* moveFile)(const char* from, const char* to);
    // "Global\" names are refused before 2000 (NT 4 Terminal Server excepted).
    HANDLE(WINAPI* createMutex)(SECURITY_ATTRIBUTES* attributes, BOOL owned, const char* name);
    // Creation flags differ: CREATE_NO_WINDOW is NT 4 and later.
    BOOL(WINAPI* createProcess)(const char* program, char* command, SECURITY_ATTRIBUTES* process,
                                SECURITY_ATTRIBUTES* thread, BOOL inherit, DWORD flags, void* environment,
                                const char* directory, STARTUPINFOA* startup, PROCESS_INFORMATION* information);
    // Opens the update service's pipe: the quality-of-service flags, which
    // Wine ignores, must reach it.
    HANDLE(WINAPI* createFile)(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* attributes,
                               DWORD disposition, DWORD flags, HANDLE model);
    // Who serves a pipe: Vista and later; null before.
    BOOL(WINAPI* getNamedPipeServerProcessId)(HANDLE pipe, ULONG* processId);
    // Who a pipe's client is: Vista and later; null before.
    BOOL(WINAPI* getNamedPipeClientProcessId)(HANDLE pipe, ULONG* processId);
    // An object's security: the owner of a pipe before Vista (Wine returns none).
    BOOL(WINAPI* getKernelObjectSecurity)(HANDLE object, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor,
                                          DWORD size, DWORD* needed);
    // A file's owner and rights, which Wine makes up from the file's mode
    // instead of keeping what was set; null on 95, 98 and Me.
    BOOL(WINAPI* getFileSecurity)(const char* path, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor,
                                  DWORD size, DWORD* needed);
    BOOL(WINAPI* setFileSecurity)(const char* path, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor);
    // The process of a running service: 2000 and later; null before.
    BOOL(WINAPI* queryServiceStatusEx)(SC_HANDLE service, SC_STATUS_TYPE level, BYTE* buffer, DWORD size,
                                       DWORD* needed);
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

// A mutex shared by every session of the machine: "Global\name" on the NT
// family, the plain name on 95, 98 and Me and where NT has no "Global" folder
// of names (NT 3.51 and 4 without Terminal Server: one session anyway), which it
// tells by ERROR_PATH_NOT_FOUND alone. Only administrators and SYSTEM may open
// it: a standard user's program can neither hold it nor wait on it. Null on any
// other failure (a name held by another kind of object, or by an object this
// user may not open), with the error kept: the caller runs nothing.
HANDLE CreateMachineMutex(const char* name);

// A well-known account an object's owner may be: LocalSystem or Administrators.
bool IsSystemOrAdministrators(PSID sid);
// True when the object's owner is LocalSystem or Administrators.
bool OwnedBySystemOrAdministrators(HANDLE object);
