// The server loop: one pipe instance waits for a client at a time; each client
// is served on a thread of its own, so a long update does not keep the others
// waiting for the pipe (updates still take turns on the machine-wide lock).
#include "service/PipeServer.h"
#include "korvante/AccessRights.h"
#include "korvante/PipeTransfer.h"
#include "korvante/SystemCalls.h"
#include "service/RequestHandler.h"

namespace {

constexpr LONG kMaxClients = 8;
constexpr DWORD kPipeBufferBytes = 4096;
// A client that sends nothing, or does not take its reply, gives its place back.
constexpr DWORD kClientWaitMs = 5000;

struct Client {
    PipeServer* server;
    HANDLE pipe;
};

DWORD WaitForClient(HANDLE event, DWORD ms)
{
    return ::WaitForSingleObject(event, ms);
}

} // namespace

PipeServer::PipeServer()
    : m_stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_slots(::CreateSemaphoreA(nullptr, kMaxClients, kMaxClients, nullptr))
{
}

PipeServer::~PipeServer()
{
    ::CloseHandle(m_stop);
    ::CloseHandle(m_slots);
}

void PipeServer::Stop()
{
    ::SetEvent(m_stop);
}

HANDLE PipeServer::NewInstance(bool first)
{
    // Local authenticated users may read and write requests but not make pipe
    // instances of their own; the network is refused before anything else.
    const DWORD userRights = FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
    AccessRights rights{Network(false, GENERIC_ALL), LocalSystem(true, GENERIC_ALL), Administrators(true, GENERIC_ALL),
                        AuthenticatedUsers(true, userRights)};
    // Flags a system does not know make CreateNamedPipeA fail: the first-instance
    // check is 2000's, the refusal of remote clients Vista's.
    constexpr DWORD kRejectRemoteClients = 0x8;   // PIPE_REJECT_REMOTE_CLIENTS, Vista's headers
    const DWORD firstInstance = first && IsNtFrom(5) ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0;
    return ::CreateNamedPipeA(kUpdatePipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | firstInstance,
                              PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT |
                                  (IsNtFrom(6) ? kRejectRemoteClients : 0),
                              kMaxClients, kPipeBufferBytes, kPipeBufferBytes, 0, rights.Attributes());
}

bool PipeServer::Run()
{
    const HANDLE connected = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool first = true, made = true;
    for (;;) {
        const HANDLE stopOrSlot[] = {m_stop, m_slots};
        if (::WaitForMultipleObjects(2, stopOrSlot, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        HANDLE pipe = NewInstance(first);
        if (pipe == INVALID_HANDLE_VALUE) {
            ::ReleaseSemaphore(m_slots, 1, nullptr);
            made = !first;
            if (first)
                break;
            // Out of instances or memory for a moment: try again shortly.
            if (::WaitForSingleObject(m_stop, 1000) == WAIT_OBJECT_0)
                break;
            continue;
        }
        first = false;
        OVERLAPPED overlapped{};
        overlapped.hEvent = connected;
        BOOL ready = ::ConnectNamedPipe(pipe, &overlapped);
        const DWORD error = ready ? ERROR_SUCCESS : ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            // Idle: blocked here until a client comes or the service stops.
            const HANDLE stopOrClient[] = {m_stop, connected};
            if (::WaitForMultipleObjects(2, stopOrClient, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                // Closing the pipe ends the pending connect; its event says when,
                // before the record leaves the stack.
                ::CloseHandle(pipe);
                ::WaitForSingleObject(connected, 5000);
                ::ReleaseSemaphore(m_slots, 1, nullptr);
                break;
            }
            DWORD unused;
            ready = ::GetOverlappedResult(pipe, &overlapped, &unused, FALSE);
        }
        // A client that came between CreateNamedPipe and ConnectNamedPipe is connected too.
        ready = ready || error == ERROR_PIPE_CONNECTED;
        Client* client = ready ? new Client{this, pipe} : nullptr;
        const HANDLE thread = client ? ::CreateThread(nullptr, 0, ServeClient, client, 0, nullptr) : nullptr;
        if (thread) {
            ::CloseHandle(thread);
            continue;
        }
        delete client;
        ::CloseHandle(pipe);
        ::ReleaseSemaphore(m_slots, 1, nullptr);
    }
    // Every slot back means every client was served. No limit: a client's
    // update is bounded by its time-out, and the caller (the service's stop)
    // must not go on while a worker still uses this object.
    for (LONG taken = 0; taken < kMaxClients; ++taken)
        ::WaitForSingleObject(m_slots, INFINITE);
    ::ReleaseSemaphore(m_slots, kMaxClients, nullptr);
    ::CloseHandle(connected);
    return made;
}

DWORD WINAPI PipeServer::ServeClient(void* context)
{
    const Client client = *static_cast<Client*>(context);
    delete static_cast<Client*>(context);
    client.server->Serve(client.pipe);
    ::ReleaseSemaphore(client.server->m_slots, 1, nullptr);
    return 0;
}

void PipeServer::Serve(HANDLE pipe)
{
    const HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // One byte more than a request: a longer message is seen as one.
    char message[sizeof(UpdateRequest) + 1];
    DWORD got = 0, put = 0;
    const DWORD read =
        event ? PipeTransfer(pipe, event, false, message, sizeof message, got, WaitForClient, kClientWaitMs)
              : ERROR_OUTOFMEMORY;
    if (read == ERROR_SUCCESS || read == ERROR_MORE_DATA) {
        UpdateRequest request;
        UpdateReply reply;
        const char* refusal = read == ERROR_MORE_DATA ? "oversized request" : CheckRequest(message, got, request);
        if (refusal)
            reply = MakeReply(kRefused, 0, refusal);
        else
            HandleRequest(request, IdentifyCaller(pipe), reply);
        ::InterlockedIncrement(&m_answered);
        if (PipeTransfer(pipe, event, true, &reply, sizeof reply, put, WaitForClient, kClientWaitMs) ==
            ERROR_SUCCESS) {
            // Closing now could drop the reply before the client reads it; the
            // client closes its end once it has it, which ends this read.
            char unused;
            PipeTransfer(pipe, event, false, &unused, 1, got, WaitForClient, kClientWaitMs);
        }
    }
    if (pipe != INVALID_HANDLE_VALUE)
        ::CloseHandle(pipe);
    if (event)
        ::CloseHandle(event);
}
