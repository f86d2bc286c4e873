// The installer check's requests about the update service's boundary, answered
// by installer_probe.exe (see there):
//   hold-name          "ok" once this program holds the pipe's name, taking every
//                      client and counting the bytes they send; "fail" if it cannot
//   release-name       "received N": the bytes its clients sent, then the name is free
//   hold-connections N "held K": K idle connections to the pipe, kept open
//   drop-connections   "ok" once they are closed
#include "tests/installer/boundary_probe.h"
#include <windows.h>
#include <vector>

namespace {

constexpr char kPipe[] = "\\\\.\\pipe\\TesvoUpdate";

HANDLE g_holder = INVALID_HANDLE_VALUE;
HANDLE g_holderThread = nullptr;
HANDLE g_release = nullptr;
volatile LONG g_received = 0;
std::vector<HANDLE> g_connections;

DWORD WINAPI TakeClients(void*)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (;;) {
        ::ResetEvent(overlapped.hEvent);
        const HANDLE events[] = {g_release, overlapped.hEvent};
        if (!::ConnectNamedPipe(g_holder, &overlapped) && ::GetLastError() == ERROR_IO_PENDING &&
            ::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        char bytes[1024];
        DWORD got = 0;
        ::ResetEvent(overlapped.hEvent);
        if (::ReadFile(g_holder, bytes, sizeof bytes, nullptr, &overlapped) ||
            (::GetLastError() == ERROR_IO_PENDING &&
             ::WaitForMultipleObjects(2, events, FALSE, 5000) == WAIT_OBJECT_0 + 1))
            ::GetOverlappedResult(g_holder, &overlapped, &got, FALSE);
        else
            ::CancelIo(g_holder);
        ::InterlockedExchangeAdd(&g_received, static_cast<LONG>(got));
        ::DisconnectNamedPipe(g_holder);
        if (::WaitForSingleObject(g_release, 0) == WAIT_OBJECT_0)
            break;
    }
    ::CloseHandle(overlapped.hEvent);
    return 0;
}

} // namespace

bool BoundaryAnswer(const std::vector<std::string>& f, std::string& answer)
{
    const std::string& command = f[0];
    if (command == "hold-name") {
        g_holder = ::CreateNamedPipeA(kPipe, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        g_release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        g_received = 0;
        g_holderThread = g_holder != INVALID_HANDLE_VALUE ? ::CreateThread(nullptr, 0, TakeClients, nullptr, 0, nullptr)
                                                          : nullptr;
        answer = g_holderThread ? "ok" : "fail";
        return true;
    }
    if (command == "release-name") {
        ::SetEvent(g_release);
        if (g_holderThread) {
            ::WaitForSingleObject(g_holderThread, 10000);
            ::CloseHandle(g_holderThread);
        }
        if (g_holder != INVALID_HANDLE_VALUE)
            ::CloseHandle(g_holder);
        g_holder = INVALID_HANDLE_VALUE, g_holderThread = nullptr;
        answer = "received " + std::to_string(g_received);
        return true;
    }
    if (command == "hold-connections") {
        const int wanted = f.size() > 1 ? std::stoi(f[1]) : 0;
        for (int i = 0; i < wanted; ++i) {
            HANDLE pipe = ::CreateFileA(kPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (pipe == INVALID_HANDLE_VALUE && ::WaitNamedPipeA(kPipe, 2000))
                pipe = ::CreateFileA(kPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (pipe != INVALID_HANDLE_VALUE)
                g_connections.push_back(pipe);
        }
        answer = "held " + std::to_string(g_connections.size());
        return true;
    }
    if (command == "drop-connections") {
        for (HANDLE pipe : g_connections)
            ::CloseHandle(pipe);
        g_connections.clear();
        answer = "ok";
        return true;
    }
    return false;
}
