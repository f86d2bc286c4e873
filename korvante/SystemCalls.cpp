// The running system's calls, bound by name where older systems lack them, so
// that the library still loads there.
#include "korvante/SystemCalls.h"
#include "korvante/AccessRights.h"
#include <cstring>

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
    g_calls.moveFile = ::MoveFileA;
    g_calls.createFile = ::CreateFileA;
    g_calls.createMutex = ::CreateMutexA;
    g_calls.createProcess = ::CreateProcessA;
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    BindCall(g_calls.createJobObject, kernel, "CreateJobObjectA");
    BindCall(g_calls.assignProcessToJobObject, kernel, "AssignProcessToJobObject");
    BindCall(g_calls.terminateJobObject, kernel, "TerminateJobObject");
    BindCall(g_calls.getNamedPipeServerProcessId, kernel, "GetNamedPipeServerProcessId");
    BindCall(g_calls.getNamedPipeClientProcessId, kernel, "GetNamedPipeClientProcessId");
    // 95, 98 and Me have no rights and no services: the library must load there.
    const HMODULE advapi = ::LoadLibraryA("advapi32.dll");
    BindCall(g_calls.getKernelObjectSecurity, advapi, "GetKernelObjectSecurity");
    BindCall(g_calls.queryServiceStatusEx, advapi, "QueryServiceStatusEx");
    BindCall(g_calls.getFileSecurity, advapi, "GetFileSecurityA");
    BindCall(g_calls.setFileSecurity, advapi, "SetFileSecurityA");
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
    // One session and no rights: the plain name is the machine's.
    if (system.platform != VER_PLATFORM_WIN32_NT)
        return system.createMutex(nullptr, FALSE, name);
    char global[MAX_PATH] = "Global\\";
    if (::lstrlenA(name) >= MAX_PATH - ::lstrlenA(global))
        return nullptr;
    ::lstrcatA(global, name);
    // Administrators and SYSTEM only: a standard user's program that could open
    // it could hold it, and with it every session's updates.
    AccessRights rights{Administrators(true, MUTEX_ALL_ACCESS), LocalSystem(true, MUTEX_ALL_ACCESS)};
    if (!rights.Attributes())
        return nullptr;
    HANDLE mutex = system.createMutex(rights.Attributes(), FALSE, global);
    // No "Global" folder of names: NT before 2000 without Terminal Server, one
    // session. Any other failure (another kind of object holds the name, or one
    // we may not open) must not send this session to a lock of its own.
    if (!mutex && ::GetLastError() == ERROR_PATH_NOT_FOUND)
        mutex = system.createMutex(rights.Attributes(), FALSE, name);
    return mutex;
}

bool IsSystemOrAdministrators(PSID account)
{
    const SID* sid = static_cast<const SID*>(account);
    const BYTE nt[6] = {0, 0, 0, 0, 0, 5};
    if (!sid || sid->Revision != SID_REVISION || std::memcmp(sid->IdentifierAuthority.Value, nt, sizeof nt) != 0)
        return false;
    return (sid->SubAuthorityCount == 1 && sid->SubAuthority[0] == SECURITY_LOCAL_SYSTEM_RID) ||
           (sid->SubAuthorityCount == 2 && sid->SubAuthority[0] == SECURITY_BUILTIN_DOMAIN_RID &&
            sid->SubAuthority[1] == DOMAIN_ALIAS_RID_ADMINS);
}

bool OwnedBySystemOrAdministrators(HANDLE object)
{
    const SystemCalls& system = System();
    alignas(8) BYTE buffer[512];
    DWORD needed = 0;
    if (!system.getKernelObjectSecurity ||
        !system.getKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, buffer, sizeof buffer, &needed))
        return false;
    // The descriptor comes self-relative: the owner lies at an offset within it.
    const auto* descriptor = reinterpret_cast<const SECURITY_DESCRIPTOR_RELATIVE*>(buffer);
    const DWORD owner = descriptor->Owner;
    const DWORD ownerEnd = owner + 8 + 4 * (owner && owner + 2 <= sizeof buffer ? buffer[owner + 1] : 0);
    return (descriptor->Control & SE_SELF_RELATIVE) && owner >= sizeof *descriptor && ownerEnd <= sizeof buffer &&
           IsSystemOrAdministrators(buffer + owner);
}
