// The update service's pipe: local authenticated users may send requests;
// SYSTEM and administrators have full access, the network none. Each client
// sends one request and gets one reply. Idle, the server waits for a client
// and uses no CPU. Every instance is made so that a name another program holds
// fails, and one instance always listens.
#pragma once
#include <windows.h>

class PipeServer {
public:
    PipeServer();
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Serves clients until Stop(). While another program holds the pipe's name
    // it says so in the event log once and tries again every few seconds; false
    // when the pipe was never made before Stop().
    bool Run();
    // Ends Run from any thread; a request being served is finished first.
    void Stop();
    // Requests answered so far, refusals included.
    LONG Answered() const { return m_answered; }

private:
    static DWORD WINAPI ServeClient(void* context);
    HANDLE NewInstance(bool first);
    void CloseInstance(HANDLE pipe);
    // A place for a client of that process (0: unknown), within the limits.
    bool TakeClientPlace(DWORD processId);
    void GiveClientPlace(DWORD processId);
    void Serve(HANDLE pipe);

    HANDLE m_stop;      // set by Stop
    HANDLE m_slots;     // semaphore: clients that may be served at once
    HANDLE m_updateLock;
    CRITICAL_SECTION m_clientsLock;   // guards m_clientProcesses
    DWORD m_clientProcesses[32] = {};   // the process of each client served, where known
    LONG m_instances = 0;   // pipe instances this server has open
    LONG m_answered = 0;
};
