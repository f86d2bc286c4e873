// Asking the update service over its pipe.
#pragma once
#include "service/UpdateRequests.h"

// A request of that kind with its header filled in and every field zero.
UpdateRequest NewRequest(RequestKind kind);

// Sends the request and waits for the reply, dispatching this thread's messages
// meanwhile as an update run does. False when the service's pipe cannot be
// opened: the caller then works in-process. Once the pipe is open the answer
// is the service's: a failed exchange gives a refusal saying so.
bool AskUpdateService(const UpdateRequest& request, UpdateReply& reply);
