// The running system's calls, bound by name where older systems lack them, so
// that the library still loads there.
#include "korvante/SystemCalls.h"
#include "korvante/AccessRights.h"

namespace {

SystemCalls g_calls;
bool g_filled = false;

template <typename Function>
void Bind(Function& function, HMODULE module, const char* name)
{
    function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
                      : nullptr;
}

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
    constexpr DWORD kRejectRemoteClients = 0x8;   // PIPE_REJECT_REMOTE_CLIENTS, Vista's headers
    g_calls.pipeRejectRemote = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6
                                   ? kRejectRemoteClients : 0;
    g_calls.pipeFirstInstance = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5
                                    ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0;
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    Bind(g_calls.createJobObject, kernel, "CreateJobObjectA");
    Bind(g_calls.assignProcessToJobObject, kernel, "AssignProcessToJobObject");
    Bind(g_calls.terminateJobObject, kernel, "TerminateJobObject");
    g_filled = true;
}

SystemCalls& System()
{
    if (!g_filled)
        ResetSystemCalls();
    return g_calls;
}

HANDLE CreateMachineMutex(const char* name)
{
    const SystemCalls& system = System();
    char fullName[MAX_PATH];
    const bool global = system.platform == VER_PLATFORM_WIN32_NT && system.major >= 5;
    ::wsprintfA(fullName, global ? "Global\\%s" : "%s", name);
    // Everyone may wait on it and release it, nothing more; 9x keeps no rights.
    AccessRights rights{Everyone(true, SYNCHRONIZE | MUTEX_MODIFY_STATE)};
    SECURITY_ATTRIBUTES* attributes = system.platform == VER_PLATFORM_WIN32_NT ? rights.Attributes() : nullptr;
    HANDLE mutex = system.createMutex(attributes, FALSE, fullName);
    // Made by another user first: we may only wait on it and release it.
    if (!mutex && ::GetLastError() == ERROR_ACCESS_DENIED)
        mutex = ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, fullName);
    return mutex;
}
