// Carrying out one checked request with the library's own code, as far as the
// caller may ask it.
#pragma once
#include "protocol/UpdateRequests.h"
#include "service/CallerIdentity.h"

// Fills reply. A name that is not a registered product ("" is the default
// entry, which RunUpdate does not take) is refused and nothing is written. A
// caller who is not an administrator may ask only what an agent's run needs:
// the update of a product that is due, a move of a time to its schedule's next
// occurrence, a schedule from the dialog, the end of a run and a catalog
// refresh. Every refusal, and every update run, is in the event log with the
// caller's account.
void HandleRequest(const UpdateRequest& request, const Caller& caller, UpdateReply& reply);

// A reply with its header and status set and text copied in.
UpdateReply MakeReply(ReplyStatus status, int result, const char* text);
