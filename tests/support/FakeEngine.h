// A scripted update library for in-process tests: every call is logged as one
// line, and the answers come from a per-entry script that a test sets up.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

struct FakeEntry {
    double nextTime = 0.0;   // what GetNextTime reports
    int nextResult = 0;      // GetNextTime's result
    double dueTime = 0.0;    // what GetDueTime reports
    int dueResult = 0;       // GetDueTime's result
    int kind = 0, a = 0, b = 0;
};

struct FakeEngine {
    std::map<std::string, FakeEntry> entries;       // "" is the default entry
    std::vector<std::string> calls;                 // one line per call, e.g. "GetNextTime Alpha"
    double nextScheduled = 0.0;                     // what NextScheduledTime returns
    std::function<void(const std::string& call)> onCall;  // runs inside each call, after logging

    void Reset() { *this = FakeEngine(); }
    // The calls whose line starts with one of the prefixes, in order.
    std::vector<std::string> CallsStartingWith(const std::vector<std::string>& prefixes) const;
};

extern FakeEngine g_fakeEngine;
