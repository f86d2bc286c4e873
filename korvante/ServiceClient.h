// Asking the update service over its pipe.
#pragma once
#include "protocol/UpdateRequests.h"
#include <windows.h>

// The update service's name, as the service manager knows it.
constexpr char kUpdateServiceName[] = "TesvoUpdate";

// A request of that kind with its header filled in and every field zero.
UpdateRequest NewRequest(RequestKind kind);

enum class ServiceAnswer {
    Absent,       // the pipe could not be opened: no service (or none free); the caller may work in-process
    Answered,     // reply holds the service's answer
    NotTrusted,   // the pipe's server is not the update service: nothing was sent
    NoAnswer,     // the exchange broke or no reply came within the limit
};

// Sends the request and waits for the reply, up to replyLimitMs once sent,
// dispatching this thread's messages meanwhile as an update run does. For
// NotTrusted and NoAnswer, reply is a refusal whose text says so ("service not
// trusted", "service did not answer").
// The pipe is opened for identification only (SECURITY_SQOS_PRESENT |
// SECURITY_IDENTIFICATION), and nothing is sent before ServedByUpdateService.
ServiceAnswer AskUpdateService(const UpdateRequest& request, UpdateReply& reply, DWORD replyLimitMs);

// True when the pipe's server is the update service: where the system tells a
// pipe's server process (Vista and later), the process the service manager
// reports for the service (or this process itself); before, a pipe owned by
// LocalSystem or Administrators.
bool ServedByUpdateService(HANDLE pipe);
// The running update service's process id, 0 when none runs or none can be asked.
DWORD UpdateServiceProcessId();
