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

} // namespace

// Users may run the programs but not replace them; nobody but administrators
// may change that.
DWORD SecureProgramFolder(const char* folder)
{
    const char* why = nullptr;
    const DWORD keepers = CheckFolderKeepers(folder, why);
    if (keepers != ERROR_SUCCESS) {
        std::fprintf(stderr, "TesvoService: the folder %s is refused: %s\n", folder,
                     why ? why : "its rights cannot be read");
        return keepers;
    }
    const AccessEntry users{true, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, 5, SECURITY_BUILTIN_DOMAIN_RID,
                            DOMAIN_ALIAS_RID_USERS};
    AccessRights rights{Administrators(true, FILE_ALL_ACCESS), LocalSystem(true, FILE_ALL_ACCESS), users};
    SECURITY_DESCRIPTOR* descriptor = rights.OwnedByAdministrators() ? TreeDescriptor(rights) : nullptr;
    return descriptor ? SecureFolder(folder, descriptor) : Failed(::GetLastError());
}

namespace {

// Once started, the service must hold its pipe: a pipe another program serves
// means the name was taken. Bounded: the service makes its pipe at once.
DWORD CheckServicePipe()
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (!::WaitNamedPipeA(kUpdatePipeName, 500)) {
            ::Sleep(500);   // not made yet, or every instance busy for a moment
            continue;
        }
        const HANDLE pipe = ::CreateFileA(kUpdatePipeName, GENERIC_READ | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                          OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe == INVALID_HANDLE_VALUE)
            continue;   // taken by another client meanwhile
        const bool ours = ServedByUpdateService(pipe);
        ::CloseHandle(pipe);
        if (ours)
            return ERROR_SUCCESS;
        std::fprintf(stderr, "TesvoService: another program holds the pipe's name %s\n", kUpdatePipeName);
        return ERROR_PIPE_BUSY;
    }
    std::fprintf(stderr, "TesvoService: the service did not make its pipe %s\n", kUpdatePipeName);
    return ERROR_PIPE_NOT_CONNECTED;
}

// The folder named after /secure-folder on this program's command line, if any.
bool FolderArgument(char (&folder)[MAX_PATH])
{
    const char* text = ::GetCommandLineA();
    for (int word = 0; word < 2; ++word) {   // the program, then the command
        while (*text == ' ' || *text == '\t')
            ++text;
        if (*text == '"') {
            text = std::strchr(text + 1, '"');
            text = text ? text + 1 : "";
        }
        while (*text && *text != ' ' && *text != '\t')
            ++text;
    }
    while (*text == ' ' || *text == '\t')
        ++text;
    size_t length = std::strlen(text);
    if (length && *text == '"') {
        ++text, --length;
        if (length && text[length - 1] == '"')
            --length;
    }
    while (length && (text[length - 1] == ' ' || text[length - 1] == '\\'))
        --length;
    if (length == 0 || length >= MAX_PATH)
        return false;
    std::memcpy(folder, text, length);
    folder[length] = '\0';
    return true;
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

// Runs the steps in order until one fails, naming it for the installer's log.
class Steps {
public:
    bool Run(const char* what, DWORD status)
    {
        if (status == ERROR_SUCCESS)
            return true;
        std::fprintf(stderr, "TesvoService: %s failed (error %lu)\n", what, status);
        if (first_ == ERROR_SUCCESS)
            first_ = status;
        return false;
    }
    int Result() const { return static_cast<int>(first_); }

private:
    DWORD first_ = ERROR_SUCCESS;
};

} // namespace

InstallSteps& SetupSteps()
{
    static InstallSteps steps{SecureProductKey, SecureProgramFolder, RegisterEventSource, InstallService,
                              SetRecoveryActions, CheckServicePipe};
    return steps;
}

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
    const InstallSteps& install = SetupSteps();
    if (is("/install")) {
        // The rights first, and each only after the one before held: the
        // service must never serve a key or run from a folder users could write.
        (void)(steps.Run("securing the product key", install.secureProductKey()) &&
               steps.Run("securing the program folder", install.secureProgramFolder(folder)) &&
               steps.Run("registering the event source", install.registerEventSource(program)) &&
               steps.Run("installing the service", install.installService(program)) &&
               steps.Run("setting the service's recovery actions", install.setRecoveryActions()) &&
               steps.Run("checking the service's pipe", install.checkServicePipe()));
    }
    else if (is("/secure-folder")) {
        FolderArgument(folder);
        steps.Run("securing the program folder", install.secureProgramFolder(folder));
    }
    else if (is("/stop"))
        steps.Run("stopping the service", StopService(false));
    else {
        steps.Run("removing the service", StopService(true));
        steps.Run("removing the event source", RemoveEventSource());
    }
    return steps.Result();
}
