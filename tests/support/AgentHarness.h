// Runs the agent window inside a test program: created from its template like
// the real one, but pumped by the test instead of its modal loop, and with the
// notification area replaced by a model that records every call.
#pragma once
#include "app/AgentDlg.h"
#include "tests/support/WineHelpers.h"
#include <map>
#include <string>
#include <vector>

// One icon as the agent handed it to the shell.
struct IconCall {
    DWORD size;
    HWND window;
    UINT flags;
    UINT callback;
    HICON icon;
    std::string tip;
    bool tipBounded;    // nothing written past the 64 bytes the shell reads
};

class TestAgent : public CAgentDlg {
public:
    ~TestAgent() override { Destroy(); }

    // Creates the window and handles what start-up posts (the Activate command).
    bool Start();
    void Destroy();
    void Pump(DWORD ms = 50) { PumpMessages(ms); }
    void Command(UINT id) { ::SendMessageA(m_hWnd, WM_COMMAND, id, 0); }

    // Icons the modelled notification area shows now, by identifier.
    std::map<UINT, IconCall> shownIcons;

    using CAgentDlg::OnTrayNotify;

    // Start-up picks the presentation from the Windows version; a test may pick
    // it instead: TRUE for the system-menu mode, FALSE for the notification icon.
    int forcedSysMenuMode = -1;

    // A test may run the agent on a clock of its own, clockMs after a whole-second
    // start; the timer delays the agent asks for are then kept here, not set.
    double clockStart = 0.0;   // 0: the real clock and timer
    ULONGLONG clockMs = 0;
    std::vector<UINT> timerDelays;

protected:
    BOOL OnInitDialog() override;
    BOOL NotifyShell(DWORD message, NOTIFYICONDATAA* record) override;
    SYSTEMTIME LocalTime() override;
    void SetScheduleTimer(UINT delayMs) override;
};

// The icon resource the agent loads for an identifier (shared, so comparable).
HICON AgentIcon(UINT id);
