// One overlapped read or write on a pipe, waited for in the caller's way: the
// library's client dispatches messages meanwhile, the service just waits.
#pragma once
#include <windows.h>

// Waits for the handle up to ms; WAIT_OBJECT_0 when it was signalled.
using WaitFunction = DWORD (*)(HANDLE handle, DWORD ms);

// ERROR_SUCCESS with done set, ERROR_MORE_DATA for a message longer than size
// (size bytes were read), or why it failed. When the wait ends otherwise
// (time out, a quit message) the pipe is closed, which ends the transfer, and
// set to INVALID_HANDLE_VALUE; the result is then WAIT_TIMEOUT.
DWORD PipeTransfer(HANDLE& pipe, HANDLE event, bool write, void* data, DWORD size, DWORD& done, WaitFunction wait,
                   DWORD ms);
