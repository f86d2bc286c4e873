// The running system's calls, bound by name where older systems lack them, so
// that the library still loads there.
#include "korvante/SystemCalls.h"

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
    g_calls.createProcess = ::CreateProcessA;
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

bool IsNtFrom(DWORD major)
{
    return System().platform == VER_PLATFORM_WIN32_NT && System().major >= major;
}

HANDLE CreateMachineMutex(const char* name, SECURITY_ATTRIBUTES* attributes)
{
    char global[MAX_PATH] = "Global\\";
    if (::lstrlenA(name) >= MAX_PATH - ::lstrlenA(global))
        return nullptr;
    ::lstrcatA(global, name);
    const HANDLE mutex = System().createMutex(attributes, FALSE, global);
    // Access denied means the machine-wide mutex exists: another name would not exclude its holder.
    if (mutex || ::GetLastError() == ERROR_ACCESS_DENIED)
        return mutex;
    return System().createMutex(attributes, FALSE, name);
}
