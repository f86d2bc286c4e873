// The in-process agent: its start, its end, and the modelled notification area.
#include "tests/support/AgentHarness.h"
#include "tests/support/WineHelpers.h"

bool TestAgent::Start()
{
    HINSTANCE instance;
    LPCDLGTEMPLATEA dialogTemplate = LoadTemplate(instance);
    if (!dialogTemplate || !CreateDlgIndirect(dialogTemplate, nullptr, instance))
        return false;
    Pump();
    return m_hWnd != nullptr;
}

BOOL TestAgent::OnInitDialog()
{
    const BOOL result = CAgentDlg::OnInitDialog();
    // Before the posted Activate runs, so that it presents the chosen mode.
    if (forcedSysMenuMode >= 0)
        m_bSysMenuMode = forcedSysMenuMode;
    return result;
}

void TestAgent::Destroy()
{
    if (m_hWnd)
        DestroyWindow();
    // Drop the quit message the agent posts on its way out.
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT)
            ::DispatchMessageA(&msg);
    }
}

BOOL TestAgent::NotifyShell(DWORD message, NOTIFYICONDATAA* record)
{
    // The shell refuses a second add of the same icon and a delete of a missing one.
    if (message == NIM_DELETE)
        return shownIcons.erase(record->uID) == 1;
    if (message != NIM_ADD)
        return FALSE;
    IconCall call{record->cbSize, record->hWnd, record->uFlags, record->uCallbackMessage, record->hIcon,
                  std::string(record->szTip, strnlen(record->szTip, 64)), true};
    for (size_t i = 64; i < sizeof record->szTip; ++i)
        call.tipBounded = call.tipBounded && record->szTip[i] == 0;
    return shownIcons.emplace(record->uID, call).second;
}

SYSTEMTIME TestAgent::LocalTime()
{
    if (clockStart == 0.0)
        return CAgentDlg::LocalTime();
    SYSTEMTIME clock;
    COleDateTime(clockStart + static_cast<double>(clockMs / 1000) / 86400.0).GetAsSystemTime(clock);
    clock.wMilliseconds = static_cast<WORD>(clockMs % 1000);
    return clock;
}

void TestAgent::SetScheduleTimer(UINT delayMs)
{
    if (clockStart == 0.0)
        CAgentDlg::SetScheduleTimer(delayMs);
    else
        timerDelays.push_back(delayMs);
}

HICON AgentIcon(UINT id)
{
    return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
}
