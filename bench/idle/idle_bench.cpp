// Idle figure: the agent, with one product due only after the idle span, and
// the minimal icon program sit side by side for the given seconds. Reports what
// the agent did meanwhile, as seen from outside: icon calls, update-library
// calls (journal lines) and runs (brackets opened). bench/run-all adds the
// kernel's counts of context switches (wake-ups) and CPU time over the same
// span, between the BEGIN and END lines: Wine's GetProcessTimes for another
// process is no measure of it.
//
// With --due-seconds N the product's time is set a second into the span, N seconds
// ahead, and the agent told of it with a time change: the span then holds one
// due time (or none, for an N beyond the span).
//
//   idle_bench.exe [--seconds N] [--due-seconds N] AGENT_EXE BASELINE_EXE
#include "bench/startup/BenchChild.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kProductName[] = "Idle Bench Product";
constexpr DWORD kStartLimitMs = 300000;

bool ScheduleProduct(int secondsFromNow)
{
    return SetEntryValue(kProductName, "NextTime", LocalTimeText(secondsFromNow));
}

struct Child {
    const char* name;
    std::string path;
    PROCESS_INFORMATION process{};
    HWND iconWindow = nullptr;
};

} // namespace

int main(int argc, char** argv)
{
    int seconds = 60;
    int dueSeconds = -1;   // none: the product is scheduled before the start, due after the span
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--due-seconds") && i + 1 < argc)
            dueSeconds = std::atoi(argv[++i]);
        else
            paths.push_back(argv[i]);
    }
    if (paths.size() != 2 || seconds < 1) {
        std::fprintf(stderr, "usage: idle_bench [--seconds N] [--due-seconds N] AGENT_EXE BASELINE_EXE\n");
        return 2;
    }

    DeleteProductKey();
    // Due a few minutes after the idle span ends: the agent arms its timer and
    // has nothing to do until then.
    if (!ScheduleProduct(dueSeconds < 0 ? seconds + 300 : 86400)) {
        std::printf("idle: could not register the product\n");
        return 1;
    }
    const std::string journal = FolderOf(paths[0]) + "idle-journal.txt";
    ::DeleteFileA(journal.c_str());
    ::SetEnvironmentVariableA("KORVANTE_JOURNAL", journal.c_str());

    FakeTray tray;
    if (!tray.IsTheTray()) {
        std::printf("idle: could not stand in for the notification area\n");
        return 1;
    }
    Child children[2] = {{"Tesvo", paths[0]}, {"minimal", paths[1]}};
    for (Child& child : children) {
        const size_t seen = tray.Events().size();
        if (!StartChild(child.path, child.process)) {
            std::printf("idle: could not start %s\n", child.path.c_str());
            return 1;
        }
        int added = -1;
        WaitUntil([&] { return (added = tray.FindAdd(child.process.dwProcessId, seen)) >= 0; }, kStartLimitMs);
        if (added < 0) {
            std::printf("idle: %s added no icon\n", child.name);
            return 1;
        }
        child.iconWindow = tray.Events()[added].window;
    }
    // Let start-up work finish before the span begins.
    PumpMessages(3000);

    const size_t eventsBefore = tray.Events().size();
    const size_t journalBefore = CountLines(journal, "");
    const size_t runsBefore = CountLines(journal, "BeginBatch");
    std::printf("IDLE BEGIN %d\n", seconds);
    std::fflush(stdout);
    if (dueSeconds >= 0) {
        // A second in, so that the span holds the time change's own work too.
        PumpMessages(1000);
        if (!ScheduleProduct(dueSeconds) || !::PostMessageA(children[0].iconWindow, WM_TIMECHANGE, 0, 0))
            std::printf("idle: could not set the due time\n");
    }

    PumpMessages(static_cast<DWORD>(seconds) * 1000 - (dueSeconds >= 0 ? 1000 : 0));

    const size_t journalLines = CountLines(journal, "") - journalBefore;
    std::printf("IDLE END\n");
    std::fflush(stdout);
    for (Child& child : children) {
        const bool running = ::WaitForSingleObject(child.process.hProcess, 0) == WAIT_TIMEOUT;
        std::printf("idle %s: %s, %u icon calls while idle\n", child.name, running ? "still running" : "ENDED",
                    static_cast<unsigned>(tray.CountFrom(child.process.dwProcessId, eventsBefore)));
    }
    std::printf("idle Tesvo: update-library calls while idle %u, runs %u\n", static_cast<unsigned>(journalLines),
                static_cast<unsigned>(CountLines(journal, "BeginBatch") - runsBefore));
    std::fflush(stdout);
    // Give the caller a moment to read the kernel's counters before the end.
    PumpMessages(3000);
    for (Child& child : children)
        EndChild(child.process, child.iconWindow, 60000);
    return 0;
}
