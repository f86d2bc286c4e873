// agent_watch watch JOURNAL [DESKTOP]: prints, one timed line each, what the running agent
// shows and what its update library did: the start, every status text of the
// notification icon, each update run with the products it updated, their
// outcome and next time, the catalog refresh and the names it registered, and
// the end of the agent. Everything is read from the agent's windows, the
// library's journal and the registry values the library keeps.
// In system-menu mode the status is read from the minimized window's caption.
// agent_watch command ID [DESKTOP]: gives the agent a command of its menu
// (3200 Suspend, 4800 Activate), as choosing it there does.
// agent_watch close [DESKTOP]: ends the agent by closing its marker window, as the
// installer does, and waits for it to go.
#include "engine/ProductKey.h"
#include "scripts/watch/AgentJournal.h"
#include "scripts/watch/TrayTip.h"
#include <windows.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <set>
#include <string>

namespace {

constexpr char kMarkerName[] = "Tesvo";
constexpr char kSuspendedText[] = "Tesvo: Suspended";

// A 32-bit agent under 64-bit Windows sees the 32-bit registry view; the
// watcher reads the one the agent uses.
REGSAM g_registryView = 0;

void Say(const char* format, ...)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    std::printf("%02u:%02u:%02u ", now.wHour, now.wMinute, now.wSecond);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

std::set<std::string> RegisteredProducts(REGSAM view = g_registryView)
{
    std::set<std::string> names;
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKeyPath, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return names;
    char name[MAX_PATH];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.insert(name);
    }
    ::RegCloseKey(key);
    return names;
}

// A text value of a product's subkey, or fallback when there is none.
std::string ProductValue(const std::string& product, const char* value, const char* fallback)
{
    const std::string path = std::string(kProductKeyPath) + "\\" + product;
    char text[MAX_PATH] = "";
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | g_registryView, &key) != ERROR_SUCCESS)
        return fallback;
    DWORD type = 0, size = sizeof text - 1;
    const bool read = ::RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
                      ERROR_SUCCESS;
    ::RegCloseKey(key);
    if (!read || type != REG_SZ || !text[0])
        return fallback;
    return text;
}

std::string Quoted(const std::set<std::string>& names)
{
    std::string list;
    for (const auto& name : names)
        list += (list.empty() ? "\"" : ", \"") + name + "\"";
    return list;
}

struct Totals {
    int runs = 0;
    int quietRuns = 0;   // runs that found nothing due and registered nothing
    int updates = 0;
    int succeeded = 0;
};

void ReportBracket(const JournalBracket& bracket, std::set<std::string>& known, Totals& totals)
{
    std::set<std::string> added;
    if (bracket.refreshedCatalog) {
        for (const auto& name : RegisteredProducts())
            if (known.insert(name).second)
                added.insert(name);
    }
    if (!bracket.import) {
        ++totals.runs;
        // The timer can wake a moment early, and the agent then runs again and
        // again until the due second has passed: those runs are only counted.
        if (bracket.updated.empty() && added.empty()) {
            ++totals.quietRuns;
            return;
        }
        if (bracket.updated.empty())
            Say("update run: nothing due yet");
        else
            Say("update run: %u product(s) updated", static_cast<unsigned>(bracket.updated.size()));
        for (const auto& name : bracket.updated) {
            const std::string outcome = ProductValue(name, "LastOutcome", "no outcome");
            ++totals.updates;
            totals.succeeded += outcome == "exit 0";
            Say("  \"%s\": %s; next time %s", name.c_str(), outcome.c_str(),
                ProductValue(name, "NextTime", "none").c_str());
        }
    }
    if (!bracket.refreshedCatalog)
        return;
    const char* what = bracket.import ? "catalog imported" : "  catalog refreshed";
    if (added.empty())
        Say("%s: no new names", what);
    else
        Say("%s: registered %s", what, Quoted(added).c_str());
}

struct AgentWindow {
    DWORD processId;
    bool shownOnly;
    HWND found;
};

// The agent's own window, a dialog: the one it shows in system-menu mode, or
// the hidden one that takes its menu's commands in icon mode.
BOOL CALLBACK FindAgentWindow(HWND window, LPARAM context)
{
    auto agent = reinterpret_cast<AgentWindow*>(context);
    DWORD owner = 0;
    char name[16] = "";
    ::GetWindowThreadProcessId(window, &owner);
    ::GetClassNameA(window, name, sizeof name);
    if (owner != agent->processId || lstrcmpA(name, "#32770") != 0 ||
        (agent->shownOnly && !::IsWindowVisible(window)))
        return TRUE;
    agent->found = window;
    return FALSE;
}

HWND AgentWindowOf(DWORD processId, bool shownOnly)
{
    AgentWindow agent{processId, shownOnly, nullptr};
    ::EnumWindows(FindAgentWindow, reinterpret_cast<LPARAM>(&agent));
    return agent.found;
}

// The status as the user sees it: the caption of the minimized window in
// system-menu mode, else the icon's tooltip.
std::string StatusShown(DWORD processId)
{
    HWND shown = AgentWindowOf(processId, true);
    char caption[128] = "";
    if (shown && ::IsIconic(shown) && ::GetWindowTextA(shown, caption, sizeof caption))
        return caption;
    return ReadTrayTip();
}

// Where the status goes besides the icon: a visible agent window is the
// minimized window of system-menu mode, whose caption carries the status.
void ReportPresentation(DWORD processId)
{
    HWND shown = AgentWindowOf(processId, true);
    char caption[128] = "";
    if (shown) {
        ::GetWindowTextA(shown, caption, sizeof caption);
        Say("presentation: system-menu mode, a %s window captioned \"%s\"%s", ::IsIconic(shown) ? "minimized" : "shown",
            caption, ReadTrayTip().empty() ? "" : ", and the notification icon");
    } else {
        Say("presentation: the notification icon (no window shown)");
    }
}

// Windows are found only on the thread's own desktop: with a desktop name, the
// watcher joins the virtual desktop the agent runs in, once it exists.
bool JoinDesktop(const char* name)
{
    if (!name)
        return true;
    HDESK desktop = ::OpenDesktopA(name, 0, FALSE, GENERIC_ALL);
    return desktop && ::SetThreadDesktop(desktop);
}

HWND WaitForMarker(const char* desktop, int seconds)
{
    for (int i = 0; i < seconds * 4; ++i) {
        if (!JoinDesktop(desktop)) {
            ::Sleep(250);
            continue;
        }
        desktop = nullptr;
        if (HWND marker = ::FindWindowA(kMarkerName, kMarkerName))
            return marker;
        ::Sleep(250);
    }
    return nullptr;
}

int Watch(const char* journalPath, const char* desktop)
{
    // The products before the agent runs, in either registry view: it may
    // register the catalog's names as soon as its marker window is up.
    const std::set<std::string> before64 = RegisteredProducts(0), before32 = RegisteredProducts(KEY_WOW64_32KEY);
    HWND marker = WaitForMarker(desktop, 180);
    if (!marker) {
        Say("the agent did not start: no marker window");
        return 1;
    }
    DWORD processId = 0;
    ::GetWindowThreadProcessId(marker, &processId);
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
    BOOL wow64 = FALSE;
    if (process && ::IsWow64Process(process, &wow64) && wow64)
        g_registryView = KEY_WOW64_32KEY;
    Say("started: Tesvo.exe, process %lu (%s), its marker window is up", processId,
        sizeof(void*) == 8 && !wow64 ? "64-bit" : "32-bit");

    AgentJournal journal(journalPath);
    std::set<std::string> known = wow64 ? before32 : before64;
    std::string tip;
    bool presented = false;
    Totals totals;
    // Without a handle on the process its marker window tells that it runs.
    auto running = [&] {
        if (process)
            return ::WaitForSingleObject(process, 250) == WAIT_TIMEOUT;
        ::Sleep(250);
        return ::IsWindow(marker) != FALSE;
    };
    while (running()) {
        for (const auto& bracket : journal.ClosedBrackets())
            ReportBracket(bracket, known, totals);
        const std::string now = StatusShown(processId);
        if (now == tip)
            continue;
        if (now.empty())
            Say("status: the icon was removed");
        else if (now == kSuspendedText)
            Say("suspended: the icon turns grey, status \"%s\"", now.c_str());
        else if (tip == kSuspendedText)
            Say("activated: status \"%s\"", now.c_str());
        else
            Say("status: \"%s\"", now.c_str());
        if (!presented && !now.empty()) {
            ReportPresentation(processId);
            presented = true;
        }
        tip = now;
    }
    DWORD code = 0;
    if (process)
        ::GetExitCodeProcess(process, &code);
    for (const auto& bracket : journal.ClosedBrackets())
        ReportBracket(bracket, known, totals);
    Say("ended: the agent has stopped (exit code %lu)", code);
    Say("totals: %d update runs (%d of them found nothing due), %d updates (%d exit 0)", totals.runs,
        totals.quietRuns, totals.updates, totals.succeeded);
    if (process)
        ::CloseHandle(process);
    return 0;
}

int Command(UINT id, const char* desktop)
{
    HWND marker = WaitForMarker(desktop, 1);
    DWORD processId = 0;
    if (marker)
        ::GetWindowThreadProcessId(marker, &processId);
    HWND agent = marker ? AgentWindowOf(processId, false) : nullptr;
    return agent && ::PostMessageA(agent, WM_COMMAND, id, 0) ? 0 : 1;
}

int Close(const char* desktop)
{
    HWND marker = WaitForMarker(desktop, 1);
    if (!marker)
        return 1;
    DWORD processId = 0;
    ::GetWindowThreadProcessId(marker, &processId);
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
    ::PostMessageA(marker, WM_CLOSE, 0, 0);
    const bool ended = process && ::WaitForSingleObject(process, 30000) == WAIT_OBJECT_0;
    if (process)
        ::CloseHandle(process);
    return ended ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // Plain line feeds: the lines go to a Unix terminal or pipe.
    _setmode(_fileno(stdout), _O_BINARY);
    const std::string command = argc > 1 ? argv[1] : "";
    const char* desktop = argc > 3 ? argv[3] : nullptr;
    if (command == "watch" && argc >= 3)
        return Watch(argv[2], desktop);
    if (command == "command" && argc >= 3)
        return Command(std::atoi(argv[2]), desktop);
    if (command == "close" && argc >= 2)
        return Close(argc > 2 ? argv[2] : nullptr);
    std::fprintf(stderr, "usage: agent_watch watch JOURNAL [DESKTOP] | agent_watch command ID [DESKTOP] |"
                         " agent_watch close [DESKTOP]\n");
    return 2;
}
