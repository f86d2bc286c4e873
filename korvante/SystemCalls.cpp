// The running system's calls, bound by name where older systems lack them, so
// that the library still loads there.
#include "korvante/SystemCalls.h"
#include "korvante/AccessRights.h"

namespace {

SystemCalls g_calls;
bool g_filled = false;

} // namespace

void ResetSystemCalls()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ::GetVersionExA(&version);
    g_calls.platform = version.dwPlatformId;
    g_calls.major = version.dwMajorVersion;
    g_calls.minor = version.dwMinorVersion;
    g_calls.msgWaitForMultipleObjects = ::MsgWaitForMultipleObjects;
    g_calls.moveFileEx = ::MoveFileExA;
    g_calls.createMutex = ::CreateMutexA;
    g_calls.createProcess = ::CreateProcessA;
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    BindCall(g_calls.createJobObject, kernel, "CreateJobObjectA");
    BindCall(g_calls.assignProcessToJobObject, kernel, "AssignProcessToJobObject");
    BindCall(g_calls.terminateJobObject, kernel, "TerminateJobObject");
    g_filled = true;
}

SystemCalls& System()
{
    if (!g_filled)
        ResetSystemCalls();
    return g_calls;
}

bool IsNtFrom(DWORD major)
{
    return System().platform == VER_PLATFORM_WIN32_NT && System().major >= major;
}

HANDLE CreateMachineMutex(const char* name)
{
    const SystemCalls& system = System();
    char global[MAX_PATH] = "Global\\";
    if (::lstrlenA(name) >= MAX_PATH - ::lstrlenA(global))
        return nullptr;
    ::lstrcatA(global, name);
    // Everyone may wait on it and release it, nothing more; 9x keeps no rights.
    AccessRights rights{Everyone(true, SYNCHRONIZE | MUTEX_MODIFY_STATE)};
    SECURITY_ATTRIBUTES* attributes = system.platform == VER_PLATFORM_WIN32_NT ? rights.Attributes() : nullptr;
    HANDLE mutex = system.createMutex(attributes, FALSE, global);
    // Made by another user first: we may only wait on it and release it.
    if (!mutex && ::GetLastError() == ERROR_ACCESS_DENIED)
        return ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, global);
    // The name refused: a system without sessions' namespaces.
    if (!mutex)
        mutex = system.createMutex(attributes, FALSE, name);
    return mutex;
}
