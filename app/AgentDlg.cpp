// The agent window's start-up and end.
#include "AgentDlg.h"
#include "resource.h"
#include "framework/WinApp.h"
#include <cstring>

CAgentDlg::CAgentDlg(CWnd* parent)
    : CDialog(IDD_AGENT, parent), m_bActive(TRUE), m_bDefaultFlag(FALSE), m_bSysMenuMode(FALSE),
      m_hMarkerWnd(nullptr)
{
    std::memset(m_szEngineBuf, 0, sizeof m_szEngineBuf);
    m_hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_ACTIVE));
}

BOOL CAgentDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    // Another copy is running: end this one quietly through the Close command.
    if (::FindWindowA(kMarkerName, kMarkerName)) {
        PostMessage(WM_COMMAND, ID_CLOSE_AGENT, 0);
        return TRUE;
    }
    m_hMarkerWnd = CreateMarkerWindow(this);
    m_menu.DestroyMenu();

    // NT 3.x and Win32s have no notification area worth the name: there the agent
    // lives as a minimized window with its menu in the system menu.
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ::GetVersionExA(&version);
    m_bSysMenuMode = version.dwMajorVersion == 3 && version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS;

    PostMessage(WM_COMMAND, ID_ACTIVATE_AGENT, 0);
    return TRUE;
}

void CAgentDlg::OnDestroy()
{
    Default();
    KillTimer(kScheduleTimerId);
    if (m_hMarkerWnd)
        ::DestroyWindow(m_hMarkerWnd);
    m_hMarkerWnd = nullptr;
    m_menu.DestroyMenu();
    RemoveTrayIcon();
    ::PostQuitMessage(0);
}
