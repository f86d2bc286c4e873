// Trying a failed update again.
//
// An update that failed in a way that may pass (it exited with an error, ran out
// of time or could not start: a network not up yet after a resume, a busy
// server) is tried again 15 minutes later, then an hour later: three tries in
// all. A retry never comes later than the product's next occurrence, which starts
// the count anew. An update left running is not tried again (it may still be at
// work), nor a refused command (only its owner can mend it).
#pragma once
#include "korvante/EntryKey.h"

constexpr int kMaxTries = 3;

// After one try of the entry's command, whose outcome is "exit N", "timed out"
// and so on: stores the time of the retry as NextTime and the failed tries so far
// as FailedTries while a retry waits, and removes FailedTries, and a one-off's
// time, once none does. A failure, and any outcome of a retry, gets the try's
// number: " (try 2 of 3)" is appended to outcome, which has room for it.
void SettleTry(EntryKey& key, bool succeeded, char* outcome);
