// Time from process start until the program adds its notification icon, for
// each program named on the command line; the first is the baseline the others
// are compared with. Runs are interleaved so that a slow phase of the machine
// hits every program alike; the medians are compared.
//
//   startup_bench.exe [--runs N] [--warmup N] NAME=PATH [NAME=PATH...]
#include "bench/startup/BenchChild.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD kStartLimitMs = 300000;   // emulated 32-bit starts take a minute
constexpr DWORD kEndLimitMs = 60000;

struct Program {
    std::string name, path;
    std::vector<double> times;
};

// One start: milliseconds until the icon came, or a negative number on failure.
double MeasureOnce(FakeTray& tray, const Program& program)
{
    // A copy of the agent left over would make the new one end at once.
    if (HWND marker = ::FindWindowA("Tesvo", "Tesvo")) {
        ::PostMessageA(marker, WM_CLOSE, 0, 0);
        WaitUntil([] { return ::FindWindowA("Tesvo", "Tesvo") == nullptr; }, kEndLimitMs);
    }
    const size_t seen = tray.Events().size();
    PROCESS_INFORMATION process{};
    LARGE_INTEGER started;
    ::QueryPerformanceCounter(&started);
    if (!StartChild(program.path, process))
        return -1.0;
    int added = -1;
    WaitUntil(
        [&] {
            added = tray.FindAdd(process.dwProcessId, seen);
            return added >= 0 || ::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
        },
        kStartLimitMs);
    double result = -1.0;
    HWND iconWindow = nullptr;
    if (added >= 0) {
        result = Milliseconds(started, tray.Events()[added].when);
        iconWindow = tray.Events()[added].window;
    }
    EndChild(process, iconWindow, kEndLimitMs);
    return result;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 5, warmup = 1;
    std::vector<Program> programs;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--warmup") && i + 1 < argc)
            warmup = std::atoi(argv[++i]);
        else if (const char* equals = std::strchr(argv[i], '='))
            programs.push_back({std::string(argv[i], static_cast<size_t>(equals - argv[i])), equals + 1, {}});
    }
    if (programs.empty() || runs < 1) {
        std::fprintf(stderr, "usage: startup_bench [--runs N] [--warmup N] NAME=PATH...\n");
        return 2;
    }

    FakeTray tray;
    if (!tray.IsTheTray()) {
        std::printf("startup: could not stand in for the notification area\n");
        return 1;
    }
    for (int run = -warmup; run < runs; ++run) {
        for (Program& program : programs) {
            const double ms = MeasureOnce(tray, program);
            if (ms < 0) {
                std::printf("startup %s: no icon was added (run %d)\n", program.name.c_str(), run);
                return 1;
            }
            if (run >= 0) {
                program.times.push_back(ms);
                std::printf("startup %s run %d: %.1f ms\n", program.name.c_str(), run + 1, ms);
                std::fflush(stdout);
            }
        }
    }
    const double baseline = Median(programs[0].times);
    for (const Program& program : programs)
        std::printf("startup %s: median %.1f ms, min %.1f ms over %d runs\n", program.name.c_str(),
                    Median(program.times), *std::min_element(program.times.begin(), program.times.end()), runs);
    for (size_t i = 1; i < programs.size(); ++i)
        std::printf("startup ratio %s/%s: %.2f\n", programs[i].name.c_str(), programs[0].name.c_str(),
                    Median(programs[i].times) / baseline);
    return 0;
}
