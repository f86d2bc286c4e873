// The update service's pipe: local authenticated users may send requests;
// SYSTEM and administrators have full access, the network none. Each client
// sends one request and gets one reply. Idle, the server waits for a client
// and uses no CPU.
#pragma once
#include <windows.h>

class PipeServer {
public:
    PipeServer();
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Serves clients until Stop(); false when the pipe could not be made (the
    // name taken by another program, for one).
    bool Run();
    // Ends Run from any thread; a request being served is finished first.
    void Stop();
    // Requests answered so far, refusals included.
    LONG Answered() const { return m_answered; }

private:
    static DWORD WINAPI ServeClient(void* context);
    HANDLE NewInstance(bool first);
    void Serve(HANDLE pipe);

    HANDLE m_stop;      // set by Stop
    HANDLE m_slots;     // semaphore: clients that may be served at once
    LONG m_answered = 0;
};
