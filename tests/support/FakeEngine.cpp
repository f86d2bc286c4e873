// The scripted update library's exports: each logs its call and answers from
// the script in g_fakeEngine.
#include "tests/support/FakeEngine.h"
#include "engine/Korvante.h"
#include <algorithm>
#include <cstdio>

FakeEngine g_fakeEngine;

namespace {

std::string Quote(const char* name) { return name ? name : "(null)"; }

void Log(const std::string& line)
{
    g_fakeEngine.calls.push_back(line);
    if (g_fakeEngine.onCall)
        g_fakeEngine.onCall(line);
}

FakeEntry Entry(const char* name) { return name ? g_fakeEngine.entries[name] : FakeEntry(); }

} // namespace

std::vector<std::string> FakeEngine::CallsStartingWith(const std::vector<std::string>& prefixes) const
{
    std::vector<std::string> kept;
    for (const std::string& call : calls)
        if (std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) { return call.rfind(p, 0) == 0; }))
            kept.push_back(call);
    return kept;
}

KORVANTE_API int EditSchedule(const char* name) { Log("EditSchedule " + Quote(name)); return 1; }
KORVANTE_API int PrepareDefault(const char* name, char*) { Log("PrepareDefault " + Quote(name)); return 1; }
KORVANTE_API int PrepareProduct(const char* name, char*) { Log("PrepareProduct " + Quote(name)); return 1; }
KORVANTE_API int BeginBatch() { Log("BeginBatch"); return 1; }
KORVANTE_API int EndBatch() { Log("EndBatch"); return 1; }

KORVANTE_API int RefreshCatalog(int zero, char*, const char* path)
{
    Log("RefreshCatalog " + std::to_string(zero) + " " + Quote(path));
    return 1;
}

KORVANTE_API int RunUpdate(const char* name, char*, char* jobA, char* jobB, int zero)
{
    Log("RunUpdate " + Quote(name) + " " + Quote(jobA) + " " + Quote(jobB) + " " + std::to_string(zero));
    return 1;
}

KORVANTE_API COleDateTime NextScheduledTime(int kind, int b, int a)
{
    Log("NextScheduledTime " + std::to_string(kind) + " " + std::to_string(b) + " " + std::to_string(a));
    return COleDateTime(g_fakeEngine.nextScheduled);
}

KORVANTE_API int PrepareUpdate(const char* name, char* jobA, char* jobB)
{
    // Logs what the buffers held on the way in, then fills them as a library would.
    Log("PrepareUpdate " + Quote(name) + " [" + Quote(jobA) + "] [" + Quote(jobB) + "]");
    std::snprintf(jobA, 260, "A:%s", name);
    std::snprintf(jobB, 260, "B:%s", name);
    return 1;
}

KORVANTE_API int GetSchedule(const char* name, int*, int*, int* kind, int* a, int* b)
{
    Log("GetSchedule " + Quote(name));
    const FakeEntry entry = Entry(name);
    *kind = entry.kind;
    *a = entry.a;
    *b = entry.b;
    return 1;
}

KORVANTE_API int GetNextTime(const char* name, COleDateTime* time)
{
    Log("GetNextTime " + Quote(name));
    const FakeEntry entry = Entry(name);
    time->m_dt = entry.nextTime;
    return entry.nextResult;
}

KORVANTE_API int GetDueTime(const char* name, COleDateTime* time)
{
    Log("GetDueTime " + Quote(name));
    const FakeEntry entry = Entry(name);
    time->m_dt = entry.dueTime;
    return entry.dueResult;
}

KORVANTE_API int SetNextTime(const char* name, COleDateTime time)
{
    Log("SetNextTime " + Quote(name));
    if (name)
        g_fakeEngine.entries[name].nextTime = time.m_dt;
    return 1;
}
