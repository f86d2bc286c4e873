// The client end of the update service's pipe: overlapped I/O, so that the wait
// for a reply can dispatch the agent's messages like the wait for an update.
#include "korvante/ServiceClient.h"
#include "korvante/BoundedText.h"
#include "korvante/MessageWait.h"
#include "korvante/PipeTransfer.h"
#include <windows.h>

namespace {

// How long a busy pipe is waited for before the service counts as not there.
constexpr DWORD kBusyWaitMs = 2000;

HANDLE OpenPipe()
{
    // Exactly the rights the pipe grants users: no right to make pipe instances.
    const DWORD rights = GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
    HANDLE pipe = ::CreateFileA(kUpdatePipeName, rights, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PIPE_BUSY &&
        ::WaitNamedPipeA(kUpdatePipeName, kBusyWaitMs))
        pipe = ::CreateFileA(kUpdatePipeName, rights, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (pipe != INVALID_HANDLE_VALUE && !::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        ::CloseHandle(pipe);
        pipe = INVALID_HANDLE_VALUE;
    }
    return pipe;
}

} // namespace

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
    const HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    UpdateRequest sent = request;
    DWORD written = 0, got = 0;
    // The reply takes as long as the update: the agent's windows answer meanwhile.
    const bool answered =
        event && PipeTransfer(pipe, event, true, &sent, sizeof sent, written, WaitDispatchingMessages, INFINITE) == ERROR_SUCCESS &&
        written == sizeof sent &&
        PipeTransfer(pipe, event, false, &reply, sizeof reply, got, WaitDispatchingMessages, replyLimitMs) == ERROR_SUCCESS &&
        got == sizeof reply && reply.magic == kReplyMagic && reply.version == kRequestVersion;
    if (!answered) {
        reply = UpdateReply{kReplyMagic, kRequestVersion, kRefused, 0, ""};
        CopyToBuffer(reply.text, "service did not answer");
    }
    reply.text[sizeof reply.text - 1] = '\0';
    if (pipe != INVALID_HANDLE_VALUE)
        ::CloseHandle(pipe);
    if (event)
        ::CloseHandle(event);
    return answered ? ServiceAnswer::Answered : ServiceAnswer::NoAnswer;
}
