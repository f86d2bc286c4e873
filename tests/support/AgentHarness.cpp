#include "support/AgentHarness.h"
#include "support/WineHelpers.h"

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

void TestAgent::Pump(DWORD ms)
{
    PumpMessages(ms);
}

BOOL TestAgent::NotifyShell(DWORD message, NOTIFYICONDATAA* record)
{
    IconCall call{message, record->cbSize, record->hWnd, record->uID, record->uFlags,
                  record->uCallbackMessage, record->hIcon, std::string(), true};
    if (message == NIM_ADD) {
        call.tip.assign(record->szTip, strnlen(record->szTip, 64));
        for (size_t i = 64; i < sizeof record->szTip; ++i)
            call.tipBounded = call.tipBounded && record->szTip[i] == 0;
    }
    iconCalls.push_back(call);
    // The shell refuses a second add of the same icon and a delete of a missing one.
    if (message == NIM_ADD)
        return shownIcons.emplace(record->uID, call).second;
    if (message == NIM_DELETE)
        return shownIcons.erase(record->uID) == 1;
    return FALSE;
}

HICON AgentIcon(UINT id)
{
    return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
}
