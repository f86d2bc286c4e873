// Starts the real Tesvo.exe from a folder of its own and finds its windows, as
// the shell, another program or a second start would.
#pragma once
#include "tests/support/WineHelpers.h"

// A copy of Tesvo.exe and korvante.dll in a folder of its own in %TEMP%, run as
// a process; at the end the process is ended if need be and the folder removed.
class AgentCopy {
public:
    AgentCopy();
    ~AgentCopy();
    AgentCopy(const AgentCopy&) = delete;
    AgentCopy& operator=(const AgentCopy&) = delete;

    const std::string& Path() const { return m_path; }   // with a trailing backslash
    std::string Catalog() const { return m_path + "Tesvo.cfg"; }
    std::string Journal() const { return m_path + "journal.txt"; }
    std::vector<std::string> JournalLines() const { return ReadLines(Journal()); }
    // Puts a file from beside the test program into the folder under the name as.
    bool CopyIn(const std::string& file, const char* as) const;

    // Starts the agent with the journal switched on; false if it could not start.
    bool Start();
    // Waits for the process to end, dispatching messages meanwhile (the agent may
    // be telling a notification area of this process); false on time-out.
    bool WaitForExit(DWORD ms) const { return WaitUntil([&] { return !Running(); }, ms); }
    bool Running() const;
    DWORD ExitCode() const;
    DWORD ProcessId() const { return m_process.dwProcessId; }

    // The agent window: the dialog that the process owns.
    HWND AgentWindow() const { return FindProcessWindow(m_process.dwProcessId, "#32770"); }
    // Waits until the process has a marker window, and returns it.
    HWND WaitForMarker(DWORD ms) const;

private:
    std::string m_path;
    PROCESS_INFORMATION m_process{};
};

// The marker window of whichever copy is running, or null.
inline HWND FindMarker() { return ::FindWindowA("Tesvo", "Tesvo"); }
