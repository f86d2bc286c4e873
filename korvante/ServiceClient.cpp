// The client end of the update service's pipe: overlapped I/O, so that the wait
// for a reply can dispatch the agent's messages like the wait for an update.
// Before a byte goes out, the server is checked: a program that took the pipe's
// name first must learn nothing from us, and must not be believed.
#include "korvante/ServiceClient.h"
#include "korvante/BoundedText.h"
#include "korvante/MessageWait.h"
#include "korvante/PipeTransfer.h"
#include "korvante/SystemCalls.h"
#include <windows.h>

namespace {

// How long a busy pipe is waited for before the service counts as not there.
constexpr DWORD kBusyWaitMs = 2000;
// A request fits the pipe's buffer: its write ends at once, or the server is stuck.
constexpr DWORD kSendWaitMs = 5000;

HANDLE OpenPipe()
{
    // Exactly the rights the pipe grants users: no right to make pipe instances.
    // Identification only: the server may learn who we are, never act as us.
    const DWORD rights = GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
    const DWORD flags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    const SystemCalls& system = System();
    HANDLE pipe = system.createFile(kUpdatePipeName, rights, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    if (pipe == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PIPE_BUSY &&
        ::WaitNamedPipeA(kUpdatePipeName, kBusyWaitMs))
        pipe = system.createFile(kUpdatePipeName, rights, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (pipe != INVALID_HANDLE_VALUE && !::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        ::CloseHandle(pipe);
        pipe = INVALID_HANDLE_VALUE;
    }
    return pipe;
}

UpdateReply Refusal(const char* text)
{
    UpdateReply reply{kReplyMagic, kRequestVersion, kRefused, 0, ""};
    CopyToBuffer(reply.text, text);
    return reply;
}

} // namespace

DWORD UpdateServiceProcessId()
{
    // The service manager's calls, bound by name: 95, 98 and Me have none.
    const SystemCalls& system = System();
    const HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
    SC_HANDLE(WINAPI * openManager)(const char*, const char*, DWORD);
    SC_HANDLE(WINAPI * openService)(SC_HANDLE, const char*, DWORD);
    BOOL(WINAPI * closeHandle)(SC_HANDLE);
    if (!system.queryServiceStatusEx || !BindCall(openManager, advapi, "OpenSCManagerA") ||
        !BindCall(openService, advapi, "OpenServiceA") || !BindCall(closeHandle, advapi, "CloseServiceHandle"))
        return 0;
    DWORD processId = 0;
    const SC_HANDLE manager = openManager(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = manager ? openService(manager, kUpdateServiceName, SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (service &&
        system.queryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                    &needed) &&
        status.dwCurrentState != SERVICE_STOPPED)
        processId = status.dwProcessId;
    if (service)
        closeHandle(service);
    if (manager)
        closeHandle(manager);
    return processId;
}

bool ServedByUpdateService(HANDLE pipe)
{
    const SystemCalls& system = System();
    if (system.getNamedPipeServerProcessId) {
        ULONG server = 0;
        if (!system.getNamedPipeServerProcessId(pipe, &server) || server == 0)
            return false;
        // A server on a thread of this very program is nobody else's.
        return server == ::GetCurrentProcessId() || server == UpdateServiceProcessId();
    }
    // Before Vista the server's process cannot be asked: whoever made the pipe
    // owns it, and only SYSTEM or an administrator may be believed.
    return OwnedBySystemOrAdministrators(pipe);
}

UpdateRequest NewRequest(RequestKind kind)
{
    UpdateRequest request{};
    request.magic = kRequestMagic;
    request.version = kRequestVersion;
    request.kind = kind;
    return request;
}

ServiceAnswer AskUpdateService(const UpdateRequest& request, UpdateReply& reply, DWORD replyLimitMs)
{
    HANDLE pipe = OpenPipe();
    if (pipe == INVALID_HANDLE_VALUE)
        return ServiceAnswer::Absent;
    if (!ServedByUpdateService(pipe)) {
        ::CloseHandle(pipe);
        reply = Refusal("service not trusted");
        return ServiceAnswer::NotTrusted;
    }
    const HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    UpdateRequest sent = request;
    DWORD written = 0, got = 0;
    // The reply takes as long as the update: the agent's windows answer meanwhile.
    const bool answered =
        event &&
        PipeTransfer(pipe, event, true, &sent, sizeof sent, written, WaitDispatchingMessages, kSendWaitMs) ==
            ERROR_SUCCESS &&
        written == sizeof sent &&
        PipeTransfer(pipe, event, false, &reply, sizeof reply, got, WaitDispatchingMessages, replyLimitMs) ==
            ERROR_SUCCESS &&
        got == sizeof reply && reply.magic == kReplyMagic && reply.version == kRequestVersion;
    if (!answered)
        reply = Refusal("service did not answer");
    reply.text[sizeof reply.text - 1] = '\0';
    if (pipe != INVALID_HANDLE_VALUE)
        ::CloseHandle(pipe);
    if (event)
        ::CloseHandle(event);
    return answered ? ServiceAnswer::Answered : ServiceAnswer::NoAnswer;
}
