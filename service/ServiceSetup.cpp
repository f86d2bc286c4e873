// The installer's commands of TesvoService.exe: see ServiceSetup.h.
#include "service/ServiceSetup.h"
#include "service/TreeRights.h"
#include "korvante/AccessRights.h"
#include "korvante/SystemCalls.h"
#include "engine/ProductKey.h"
#include <windows.h>
#include <cstdio>
#include <cstring>

namespace {

const char kDisplayName[] = "Tesvo Update Service";
const char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tesvo";
// A service start or stop under load (or emulation) can take many seconds.
const DWORD kStateWaitMs = 120000;

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() { if (handle_) ::CloseServiceHandle(handle_); }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    operator SC_HANDLE() const { return handle_; }

private:
    SC_HANDLE handle_;
};

DWORD Failed(DWORD status) { return status == ERROR_SUCCESS ? ERROR_GEN_FAILURE : status; }

// This program's path and its folder; false when the path does not fit.
bool ProgramPath(char (&path)[MAX_PATH], char (&folder)[MAX_PATH])
{
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return false;
    ::lstrcpyA(folder, path);
    char* lastBackslash = std::strrchr(folder, '\\');
    if (lastBackslash)
        *lastBackslash = '\0';
    return true;
}

// Waits, bounded, until the service leaves its pending state for the wanted one.
DWORD WaitForState(SC_HANDLE service, DWORD wanted)
{
    SERVICE_STATUS status{};
    for (DWORD waited = 0; ::QueryServiceStatus(service, &status); waited += 250) {
        if (status.dwCurrentState == wanted)
            return ERROR_SUCCESS;
        if (waited >= kStateWaitMs)
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        if (wanted == SERVICE_RUNNING && status.dwCurrentState == SERVICE_STOPPED)
            return status.dwWin32ExitCode ? status.dwWin32ExitCode : ERROR_SERVICE_NOT_ACTIVE;
        ::Sleep(250);
    }
    return ::GetLastError();
}

DWORD InstallService(const char* program)
{
    ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager)
        return Failed(::GetLastError());
    // Quoted: the service manager would otherwise try "C:\Program.exe" first.
    char command[MAX_PATH + 2];
    ::wsprintfA(command, "\"%s\"", program);
    const DWORD access = SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_QUERY_STATUS;
    ServiceHandle service(::CreateServiceA(manager, kServiceName, kDisplayName, access, SERVICE_WIN32_OWN_PROCESS,
                                           SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command, nullptr,
                                           nullptr, nullptr, nullptr, nullptr));
    if (!service && ::GetLastError() == ERROR_SERVICE_EXISTS) {
        // An earlier install, perhaps from another folder: this program it is now.
        ServiceHandle existing(::OpenServiceA(manager, kServiceName, access));
        if (!existing ||
            !::ChangeServiceConfigA(existing, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                    command, nullptr, nullptr, nullptr, nullptr, nullptr, kDisplayName))
            return Failed(::GetLastError());
        if (!::StartServiceA(existing, 0, nullptr) && ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
            return Failed(::GetLastError());
        return WaitForState(existing, SERVICE_RUNNING);
    }
    if (!service)
        return Failed(::GetLastError());
    if (!::StartServiceA(service, 0, nullptr))
        return Failed(::GetLastError());
    return WaitForState(service, SERVICE_RUNNING);
}

// Stops the service and waits until it has ended, so that its program can be
// replaced; with `remove`, deletes it too. A service that is not there is done.
DWORD StopService(bool remove)
{
    ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return Failed(::GetLastError());
    ServiceHandle service(::OpenServiceA(manager, kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service)
        return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ERROR_SUCCESS : Failed(::GetLastError());
    SERVICE_STATUS status{};
    DWORD result = ERROR_SUCCESS;
    if (::ControlService(service, SERVICE_CONTROL_STOP, &status) || ::GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        result = WaitForState(service, SERVICE_STOPPED);
    if (remove && !::DeleteService(service) && ::GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        result = Failed(::GetLastError());
    return result;
}

DWORD RegisterEventSource(const char* program)
{
    HKEY key;
    DWORD status = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                     &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    status = ::RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                              reinterpret_cast<const BYTE*>(program), static_cast<DWORD>(std::strlen(program) + 1));
    if (status == ERROR_SUCCESS)
        status = ::RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                                  sizeof types);
    ::RegCloseKey(key);
    return status;
}

DWORD RemoveEventSource()
{
    const DWORD status = ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEventSourceKey);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// The rights' descriptor, passed on to everything below and protected; null
// when it could not be built.
SECURITY_DESCRIPTOR* TreeDescriptor(AccessRights& rights)
{
    SECURITY_ATTRIBUTES* attributes = rights.Attributes();
    if (!attributes)
        return nullptr;
    auto* descriptor = static_cast<SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
    PassOnAndProtect(descriptor);
    return descriptor;
}

// What Windows 2000 and later give HKLM\SOFTWARE; NT 3.51 and NT 4 let everyone
// write it, and whoever writes an UpdateCommand has it run by the service.
DWORD SecureProductKey()
{
    AccessRights rights{Administrators(true, KEY_ALL_ACCESS), LocalSystem(true, KEY_ALL_ACCESS),
                        Everyone(true, KEY_READ)};
    SECURITY_DESCRIPTOR* descriptor = TreeDescriptor(rights);
    return descriptor ? SecureKeyTree(kProductKeyPath, descriptor) : Failed(::GetLastError());
}

// Users may run the programs but not replace them.
DWORD SecureProgramFolder(const char* folder)
{
    const AccessEntry users{true, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, 5, SECURITY_BUILTIN_DOMAIN_RID,
                            DOMAIN_ALIAS_RID_USERS};
    AccessRights rights{Administrators(true, FILE_ALL_ACCESS), LocalSystem(true, FILE_ALL_ACCESS), users};
    SECURITY_DESCRIPTOR* descriptor = TreeDescriptor(rights);
    return descriptor ? SecureFolder(folder, descriptor) : Failed(::GetLastError());
}

// Program Files keeps users from writing since Windows 2000; anywhere else, and
// on NT 4 and earlier (everyone may change the whole drive), the folder needs
// rights of its own.
bool FolderNeedsRights(const char* folder)
{
    if (System().major < 5)
        return true;
    char programFiles[MAX_PATH] = "";
    DWORD size = sizeof programFiles - 1, type = 0;
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE,
                        &key) != ERROR_SUCCESS)
        return true;
    const bool read = ::RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type,
                                         reinterpret_cast<BYTE*>(programFiles), &size) == ERROR_SUCCESS &&
                      type == REG_SZ;
    ::RegCloseKey(key);
    const size_t length = std::strlen(programFiles);
    return !read || length == 0 || std::strlen(folder) <= length || folder[length] != '\\' ||
           ::CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, folder, static_cast<int>(length),
                            programFiles, static_cast<int>(length)) != CSTR_EQUAL;
}

// Where the system has them (2000 and later, bound at run time): the service
// manager restarts a service that ended without saying it stopped (a crash, a
// kill) after 1, 1 and 5 minutes, the count starting anew after a day; and
// from Vista on it gives a shutdown's pre-shutdown time enough to end the
// running updates and record them.
DWORD SetRecoveryActions()
{
    BOOL(WINAPI * changeConfig2)(SC_HANDLE, DWORD, void*);
    if (!BindCall(changeConfig2, ::GetModuleHandleA("advapi32.dll"), "ChangeServiceConfig2A"))
        return ERROR_SUCCESS;
    ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    ServiceHandle service(manager ? ::OpenServiceA(manager, kServiceName, SERVICE_CHANGE_CONFIG | SERVICE_START)
                                  : nullptr);
    if (!service)
        return Failed(::GetLastError());
    SC_ACTION restarts[] = {{SC_ACTION_RESTART, 60000}, {SC_ACTION_RESTART, 60000}, {SC_ACTION_RESTART, 300000}};
    SERVICE_FAILURE_ACTIONSA actions{};
    actions.dwResetPeriod = 24 * 60 * 60;
    actions.cActions = sizeof restarts / sizeof restarts[0];
    actions.lpsaActions = restarts;
    if (!changeConfig2(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions))
        return Failed(::GetLastError());
    DWORD preshutdownMs = 30000;   // SERVICE_PRESHUTDOWN_INFO, Vista's headers
    if (IsNtFrom(6) && !changeConfig2(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdownMs))
        return Failed(::GetLastError());
    return ERROR_SUCCESS;
}

// Runs each step and keeps the first failure, naming it for the installer's log.
class Steps {
public:
    void Run(const char* what, DWORD status)
    {
        if (status == ERROR_SUCCESS)
            return;
        std::fprintf(stderr, "TesvoService: %s failed (error %lu)\n", what, status);
        if (first_ == ERROR_SUCCESS)
            first_ = status;
    }
    int Result() const { return static_cast<int>(first_); }

private:
    DWORD first_ = ERROR_SUCCESS;
};

} // namespace

int RunSetupCommand(const char* argument)
{
    const auto is = [argument](const char* command) { return argument && std::strcmp(argument, command) == 0; };
    if (!is("/install") && !is("/uninstall") && !is("/stop") && !is("/secure-folder"))
        return ERROR_INVALID_PARAMETER;
    if (System().platform != VER_PLATFORM_WIN32_NT)
        return 0;
    char program[MAX_PATH], folder[MAX_PATH];
    if (!ProgramPath(program, folder))
        return ERROR_FILENAME_EXCED_RANGE;
    Steps steps;
    if (is("/install")) {
        // The rights first: the service must never serve a key users could still write.
        steps.Run("securing the product key", SecureProductKey());
        if (FolderNeedsRights(folder))
            steps.Run("securing the program folder", SecureProgramFolder(folder));
        steps.Run("registering the event source", RegisterEventSource(program));
        steps.Run("installing the service", InstallService(program));
        steps.Run("setting the service's recovery actions", SetRecoveryActions());
    }
    else if (is("/secure-folder"))
        steps.Run("securing the program folder", SecureProgramFolder(folder));
    else if (is("/stop"))
        steps.Run("stopping the service", StopService(false));
    else {
        steps.Run("removing the service", StopService(true));
        steps.Run("removing the event source", RemoveEventSource());
    }
    return steps.Result();
}
