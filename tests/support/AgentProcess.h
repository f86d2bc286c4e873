// Starts the real Tesvo.exe from a folder of its own and finds its windows, as
// the shell, another program or a second start would.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// A folder in %TEMP% holding a copy of Tesvo.exe and korvante.dll; removed at the end.
class AgentFolder {
public:
    AgentFolder();
    ~AgentFolder();
    AgentFolder(const AgentFolder&) = delete;
    AgentFolder& operator=(const AgentFolder&) = delete;

    const std::string& Path() const { return m_path; }   // with a trailing backslash
    std::string Catalog() const { return m_path + "Tesvo.cfg"; }
    std::string Journal() const { return m_path + "journal.txt"; }
    // The journal's lines so far.
    std::vector<std::string> JournalLines() const;
    // Puts another build of the update library, from beside the test program, in place of korvante.dll.
    void UseLibrary(const char* file) const;

private:
    std::string m_path;
};

class AgentProcess {
public:
    AgentProcess() = default;
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    // Starts the agent with the journal switched on; false if it could not start.
    bool Start(const AgentFolder& folder);
    // Waits for the process to end; false on time-out.
    bool WaitForExit(DWORD ms);
    bool Running() const;
    DWORD ExitCode() const;
    DWORD ProcessId() const { return m_process.dwProcessId; }

    // The agent window: the dialog that the process owns.
    HWND AgentWindow() const;
    // Waits until the process has a marker window, and returns it.
    HWND WaitForMarker(DWORD ms) const;

private:
    PROCESS_INFORMATION m_process{};
};

// The marker window of whichever copy is running, or null.
HWND FindMarker();
// Sets the Windows version Wine reports to Tesvo.exe ("nt351", "win31", "win95"; "" for the default).
void SetAgentWindowsVersion(const std::string& version);
