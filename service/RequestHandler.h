// Carrying out one checked request with the library's own code.
#pragma once
#include "protocol/UpdateRequests.h"

// Fills reply. A name that is not a registered product ("" is the default
// entry, which RunUpdate does not take) is refused and nothing is written.
void HandleRequest(const UpdateRequest& request, UpdateReply& reply);

// A reply with its header and status set and text copied in.
UpdateReply MakeReply(ReplyStatus status, int result, const char* text);
