// TesvoService.exe: with no argument the update service as the service control
// manager starts it; /install and /uninstall for the installer; /serve runs the
// same pipe server in the foreground (tests and benchmarks) until the process
// is ended.
//
// Its life: at the start, updates that a crash or a kill cut off are recorded
// "interrupted" and made due once more. A stop lets the updates being run
// finish (each is bounded by its product's time-out): cutting an updater off
// half-way can leave the product broken, and its time would then need a second
// run. A shutdown cannot wait: the running updates are ended with their
// processes, recorded "interrupted" and tried once more after the start.
// Either way the service reports SERVICE_STOP_PENDING, its checkpoint moving on
// every second, until the last client is served; only then SERVICE_STOPPED.
#include "korvante/MachinePolicy.h"
#include "korvante/RunningUpdate.h"
#include "korvante/SystemCalls.h"
#include "service/EventLog.h"
#include "service/PipeServer.h"
#include "service/ServiceSetup.h"
#include <windows.h>
#include <cstring>

namespace {

// How often a stop reports that it is still under way, and how long the
// service manager is told to wait for the next report.
constexpr DWORD kCheckpointMs = 1000;
constexpr DWORD kStopWaitHintMs = 10000;

// The service manager takes the name as writable text.
char g_serviceName[sizeof kServiceName];
SERVICE_STATUS_HANDLE g_status = nullptr;
// Never destroyed: the control handler and the clients' threads may use it
// until the process ends.
PipeServer* g_server = nullptr;
DWORD g_state = SERVICE_START_PENDING;
DWORD g_checkpoint = 0;
// The shutdown control this service asks for: pre-shutdown where the system
// has it (Vista and later, through the extended handler), else shutdown.
DWORD g_shutdownAccepted = SERVICE_ACCEPT_SHUTDOWN;
CRITICAL_SECTION g_reporting;

void Report(DWORD state, DWORD exitCode = NO_ERROR)
{
    ::EnterCriticalSection(&g_reporting);
    if (state != g_state)
        g_checkpoint = 0;
    else if (state == SERVICE_STOP_PENDING)
        ++g_checkpoint;
    g_state = state;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | g_shutdownAccepted : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwCheckPoint = state == SERVICE_STOP_PENDING ? g_checkpoint : 0;
    status.dwWaitHint = state == SERVICE_STOP_PENDING ? kStopWaitHintMs : 0;
    ::SetServiceStatus(g_status, &status);
    ::LeaveCriticalSection(&g_reporting);
}

// Stop ends the server once the updates being run are done; shutdown ends
// those updates first. Everything else just reports the state.
DWORD WINAPI OnControlEx(DWORD control, DWORD, void*, void*)
{
    const bool shutdown = control == SERVICE_CONTROL_SHUTDOWN || control == SERVICE_CONTROL_PRESHUTDOWN;
    if (control == SERVICE_CONTROL_STOP || shutdown) {
        StopUpdates(shutdown);
        Report(SERVICE_STOP_PENDING);
        if (g_server)
            g_server->Stop();
        return NO_ERROR;
    }
    Report(g_state);   // an interrogation: the state as it is
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

// The plain handler: NT 3.51 and 4 lack the extended one.
void WINAPI OnControl(DWORD control)
{
    OnControlEx(control, 0, nullptr, nullptr);
}

SERVICE_STATUS_HANDLE RegisterHandler()
{
    SERVICE_STATUS_HANDLE(WINAPI * registerEx)(const char*, LPHANDLER_FUNCTION_EX, void*);
    if (!BindCall(registerEx, ::GetModuleHandleA("advapi32.dll"), "RegisterServiceCtrlHandlerExA"))
        return ::RegisterServiceCtrlHandlerA(g_serviceName, OnControl);
    if (IsNtFrom(6))
        g_shutdownAccepted = SERVICE_ACCEPT_PRESHUTDOWN;
    return registerEx(g_serviceName, OnControlEx, nullptr);
}

DWORD WINAPI Serve(void* server)
{
    return static_cast<PipeServer*>(server)->Run() ? 1 : 0;
}

void WINAPI ServiceMain(DWORD, char**)
{
    g_server = new PipeServer;
    g_status = RegisterHandler();
    if (!g_status)
        return;
    PrepareUpdateStop();
    IgnoredPolicyReportInForce() = ReportPolicyIgnored;
    SettleInterruptedUpdates(ReportInterrupted);
    Report(SERVICE_RUNNING);
    ReportServiceState(true);
    // The server runs on a thread of its own, so that this one can tell the
    // service manager that a stop is still under way.
    DWORD served = 0;
    const HANDLE thread = ::CreateThread(nullptr, 0, Serve, g_server, 0, nullptr);
    if (!thread) {
        served = g_server->Run();
    } else {
        while (::WaitForSingleObject(thread, kCheckpointMs) == WAIT_TIMEOUT)
            if (UpdatesStopping())
                Report(SERVICE_STOP_PENDING);
        ::GetExitCodeThread(thread, &served);
        ::CloseHandle(thread);
    }
    ReportServiceState(false);
    Report(SERVICE_STOPPED, served ? NO_ERROR : ERROR_PIPE_BUSY);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        ::InitializeCriticalSection(&g_reporting);
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
