// The server loop: one pipe instance always waits for a client; each client
// is served on a thread of its own, so a long update does not keep the others
// waiting for the pipe (updates still take turns on the machine-wide lock).
// No program can take the name while the server runs, nor hold it up for
// others: a few connections per process, a short wait for each request.
#include "service/PipeServer.h"
#include "service/EventLog.h"
#include "korvante/AccessRights.h"
#include "korvante/PipeTransfer.h"
#include "korvante/SystemCalls.h"
#include "korvante/UpdateTurn.h"
#include "service/RequestHandler.h"

namespace {

// Clients served at once; the pipe allows two instances more, so that one
// always listens while the others are busy and a refusal can still be made.
constexpr LONG kMaxClients = 30;
constexpr DWORD kMaxInstances = kMaxClients + 2;
// Connections one process may have served at once (where the system tells who
// the client is: Vista and later).
constexpr LONG kMaxPerProcess = 4;
// How often, and how far apart, a client over its limit asks again for a place.
constexpr int kPlaceTries = 5;
constexpr DWORD kPlaceRetryMs = 40;
constexpr DWORD kPipeBufferBytes = 4096;
// A client that sends nothing, or does not take its reply, gives its place back.
constexpr DWORD kClientWaitMs = 5000;
// While another program holds the pipe's name, it is tried again this often.
constexpr DWORD kNameRetryMs = 5000;

struct Client {
    PipeServer* server;
    HANDLE pipe;
    DWORD processId;
};

DWORD WaitForClient(HANDLE event, DWORD ms)
{
    return ::WaitForSingleObject(event, ms);
}

// The process at the pipe's other end, 0 where the system cannot tell.
DWORD ClientProcess(HANDLE pipe)
{
    ULONG processId = 0;
    const SystemCalls& system = System();
    return system.getNamedPipeClientProcessId && system.getNamedPipeClientProcessId(pipe, &processId) ? processId : 0;
}

} // namespace

PipeServer::PipeServer()
    : m_stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_slots(::CreateSemaphoreA(nullptr, kMaxClients, kMaxClients, nullptr)),
      // Held while the server runs, so that no program makes the update lock
      // first with rights of its own.
      m_updateLock(CreateMachineMutex(kUpdateLockName))
{
    ::InitializeCriticalSection(&m_clientsLock);
}

PipeServer::~PipeServer()
{
    ::CloseHandle(m_stop);
    ::CloseHandle(m_slots);
    if (m_updateLock)
        ::CloseHandle(m_updateLock);
    ::DeleteCriticalSection(&m_clientsLock);
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
    HANDLE pipe = ::CreateNamedPipeA(kUpdatePipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | firstInstance,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT |
                                         (IsNtFrom(6) ? kRejectRemoteClients : 0),
                                     kMaxInstances, kPipeBufferBytes, kPipeBufferBytes, 0, rights.Attributes());
    if (pipe == INVALID_HANDLE_VALUE)
        return pipe;
    const LONG ours = ::InterlockedIncrement(&m_instances);
    // Without the first-instance flag (NT 4 and earlier), or where a pipe's
    // rights are not enforced (Wine), the new instance may belong to a pipe
    // another program made: then the pipe has instances that are not ours.
    DWORD current = 0;
    if (!::GetNamedPipeHandleStateA(pipe, nullptr, &current, nullptr, nullptr, nullptr, 0) ||
        current > static_cast<DWORD>(ours)) {
        CloseInstance(pipe);
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return pipe;
}

void PipeServer::CloseInstance(HANDLE pipe)
{
    ::CloseHandle(pipe);
    ::InterlockedDecrement(&m_instances);
}

bool PipeServer::TakeClientPlace(DWORD processId)
{
    if (::WaitForSingleObject(m_slots, 0) != WAIT_OBJECT_0)
        return false;
    if (processId == 0)
        return true;
    ::EnterCriticalSection(&m_clientsLock);
    LONG same = 0;
    for (const DWORD served : m_clientProcesses)
        same += served == processId;
    bool taken = false;
    for (DWORD& place : m_clientProcesses)
        if (same < kMaxPerProcess && !taken && place == 0)
            place = processId, taken = true;
    ::LeaveCriticalSection(&m_clientsLock);
    if (!taken)
        ::ReleaseSemaphore(m_slots, 1, nullptr);
    return taken;
}

void PipeServer::GiveClientPlace(DWORD processId)
{
    ::EnterCriticalSection(&m_clientsLock);
    for (DWORD& place : m_clientProcesses)
        if (processId != 0 && place == processId) {
            place = 0;
            break;
        }
    ::LeaveCriticalSection(&m_clientsLock);
    ::ReleaseSemaphore(m_slots, 1, nullptr);
}

bool PipeServer::Run()
{
    const HANDLE connected = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool first = true, made = false, told = false;
    // The instance made while the last client was taken: it listens already.
    HANDLE listening = INVALID_HANDLE_VALUE;
    for (;;) {
        if (::WaitForSingleObject(m_stop, 0) == WAIT_OBJECT_0)
            break;
        HANDLE pipe = listening != INVALID_HANDLE_VALUE ? listening : NewInstance(first);
        listening = INVALID_HANDLE_VALUE;
        if (pipe == INVALID_HANDLE_VALUE) {
            // The name held by another program at start: said once, tried again
            // until it is free. Later, out of instances or memory for a moment.
            if (first && !told) {
                ReportPipeNameTaken();
                told = true;
            }
            if (::WaitForSingleObject(m_stop, first ? kNameRetryMs : 1000) == WAIT_OBJECT_0)
                break;
            continue;
        }
        first = false;
        made = true;
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
                CloseInstance(pipe);
                ::WaitForSingleObject(connected, 5000);
                break;
            }
            DWORD unused;
            ready = ::GetOverlappedResult(pipe, &overlapped, &unused, FALSE);
        }
        // A client that came between CreateNamedPipe and ConnectNamedPipe is connected too.
        ready = ready || error == ERROR_PIPE_CONNECTED;
        // The next instance listens before this one is served or closed: with
        // none left the name would be gone for a moment, to clients (who would
        // think the service absent) and to any program that would take it.
        listening = NewInstance(false);
        // A process with its share of connections, or no place free: refused.
        const DWORD processId = ready ? ClientProcess(pipe) : 0;
        // A program's connection just answered may still be giving its place
        // back as that program sends its next request: a moment's grace, then
        // the refusal.
        bool placed = false;
        for (int attempt = 0; ready && !placed && attempt < kPlaceTries; ++attempt)
            if (!(placed = TakeClientPlace(processId)) && attempt + 1 < kPlaceTries)
                ::Sleep(kPlaceRetryMs);
        Client* client = placed ? new Client{this, pipe, processId} : nullptr;
        const HANDLE thread = client ? ::CreateThread(nullptr, 0, ServeClient, client, 0, nullptr) : nullptr;
        if (thread) {
            ::CloseHandle(thread);
            continue;
        }
        delete client;
        if (placed)
            GiveClientPlace(processId);
        ::DisconnectNamedPipe(pipe);
        CloseInstance(pipe);
    }
    if (listening != INVALID_HANDLE_VALUE)
        CloseInstance(listening);
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
    client.server->GiveClientPlace(client.processId);
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
        CloseInstance(pipe);
    else
        ::InterlockedDecrement(&m_instances);   // closed by a transfer given up
    if (event)
        ::CloseHandle(event);
}
