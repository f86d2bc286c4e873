// Overlapped pipe I/O that can be given up without leaving the system a
// transfer that writes into a buffer that is gone.
#include "korvante/PipeTransfer.h"

DWORD PipeTransfer(HANDLE& pipe, HANDLE event, bool write, void* data, DWORD size, DWORD& done, WaitFunction wait,
                   DWORD ms)
{
    done = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    const BOOL finished = write ? ::WriteFile(pipe, data, size, nullptr, &overlapped)
                                : ::ReadFile(pipe, data, size, nullptr, &overlapped);
    const DWORD error = finished ? ERROR_SUCCESS : ::GetLastError();
    if (error != ERROR_SUCCESS && error != ERROR_IO_PENDING && error != ERROR_MORE_DATA)
        return error;
    if (error == ERROR_IO_PENDING && wait(event, ms) != WAIT_OBJECT_0) {
        // The system still writes to overlapped as the transfer ends: wait for that.
        ::CloseHandle(pipe);
        pipe = INVALID_HANDLE_VALUE;
        ::WaitForSingleObject(event, 5000);
        return WAIT_TIMEOUT;
    }
    if (::GetOverlappedResult(pipe, &overlapped, &done, FALSE))
        return ERROR_SUCCESS;
    return ::GetLastError();
}
