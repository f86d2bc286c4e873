// TesvoService.exe: with no argument the update service as the service control
// manager starts it; /install and /uninstall for the installer; /serve runs the
// same pipe server in the foreground (tests and benchmarks) until the process
// is ended.
#include "service/PipeServer.h"
#include "service/ServiceSetup.h"
#include <windows.h>
#include <cstring>

namespace {

// The service manager takes the name as writable text.
char g_serviceName[sizeof kServiceName];
SERVICE_STATUS_HANDLE g_status = nullptr;
PipeServer* g_server = nullptr;
DWORD g_state = SERVICE_START_PENDING;

void Report(DWORD state, DWORD exitCode = NO_ERROR)
{
    g_state = state;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode;
    // A stop waits for the update being served, if one is.
    status.dwWaitHint = state == SERVICE_STOP_PENDING ? 35000 : 0;
    ::SetServiceStatus(g_status, &status);
}

// Stop and shutdown end the server; everything else just reports the state.
// (The plain handler: NT 3.51 and 4 lack the extended one.)
void WINAPI OnControl(DWORD control)
{
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING);
        g_server->Stop();
    } else {
        Report(g_state);   // an interrogation: the state as it is
    }
}

void WINAPI ServiceMain(DWORD, char**)
{
    g_status = ::RegisterServiceCtrlHandlerA(g_serviceName, OnControl);
    if (!g_status)
        return;
    PipeServer server;
    g_server = &server;
    Report(SERVICE_RUNNING);
    const bool served = server.Run();
    Report(SERVICE_STOPPED, served ? NO_ERROR : ERROR_PIPE_BUSY);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        ::lstrcpyA(g_serviceName, kServiceName);
        SERVICE_TABLE_ENTRYA services[] = {{g_serviceName, ServiceMain}, {nullptr, nullptr}};
        return ::StartServiceCtrlDispatcherA(services) ? 0 : 1;
    }
    if (std::strcmp(argv[1], "/serve") == 0) {
        PipeServer server;
        return server.Run() ? 0 : 1;
    }
    return RunSetupCommand(argv[1]);
}
