// The installer check's way to crash the update service: ends its process
// without a word to the service manager, as a crash or a kill would.
// Exit code 0 once it has ended, 1 when the service has no process.
#include <windows.h>

int main()
{
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? ::OpenServiceA(manager, "TesvoUpdate", SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    const bool queried = service && ::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                                           reinterpret_cast<BYTE*>(&status), sizeof status, &size);
    if (service)
        ::CloseServiceHandle(service);
    if (manager)
        ::CloseServiceHandle(manager);
    const HANDLE process = queried && status.dwProcessId
                               ? ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId)
                               : nullptr;
    const bool ended = process && ::TerminateProcess(process, 9) &&
                       ::WaitForSingleObject(process, 30000) == WAIT_OBJECT_0;
    if (process)
        ::CloseHandle(process);
    return ended ? 0 : 1;
}
