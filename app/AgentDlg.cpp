// The agent window's start-up and end.
#include "app/AgentDlg.h"
#include "app/resource.h"
#include "framework/WinApp.h"
#include <cstring>

CAgentDlg::CAgentDlg(CWnd* parent)
    : CDialog(IDD_AGENT, parent), m_bActive(TRUE), m_bDefaultFlag(FALSE), m_bSysMenuMode(FALSE),
      m_hMarkerWnd(nullptr), m_bInRun(FALSE), m_bRunAgain(FALSE), m_nDeferredCommands(0), m_bClosing(FALSE),
      m_nRetryMs(0), m_wShownIcon(0), m_hSessionMutex(nullptr)
{
    std::memset(m_szEngineBuf, 0, sizeof m_szEngineBuf);
    m_hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_ACTIVE));
    // The shell sends this to every top-level window when it starts again.
    m_uTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
}

BOOL CAgentDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The object may be run once more after its window was destroyed.
    m_bClosing = FALSE;

    // Two copies started together could both look before either has its marker
    // window: the session's named mutex settles it, as only one can create it.
    // Win32s has no mutexes; there the marker window alone tells.
    // A new mutex need not clear an error left from before, so it is cleared here.
    ::SetLastError(ERROR_SUCCESS);
    m_hSessionMutex = ::CreateMutexA(nullptr, FALSE, kSessionMutexName);
    const bool mutexTaken = m_hSessionMutex && ::GetLastError() == ERROR_ALREADY_EXISTS;
    // Another copy is running: end this one quietly through the Close command.
    if (mutexTaken || ::FindWindowA(kMarkerName, kMarkerName)) {
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

void CAgentDlg::EndFromMarker()
{
    m_bClosing = TRUE;
    EndDialog(0);
    // A library call may be running a message loop of its own (an update being
    // waited for); the quit message ends that loop, and ours after it.
    ::PostQuitMessage(0);
}

void CAgentDlg::OnDestroy()
{
    Default();
    m_bClosing = TRUE;
    KillTimer(kScheduleTimerId);
    if (m_hMarkerWnd) {
        // The marker must not reach this object once it is gone.
        ::SetWindowLongPtrA(m_hMarkerWnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hMarkerWnd);
    }
    m_hMarkerWnd = nullptr;
    if (m_hSessionMutex)
        ::CloseHandle(m_hSessionMutex);
    m_hSessionMutex = nullptr;
    m_menu.DestroyMenu();
    RemoveTrayIcon();
    ::PostQuitMessage(0);
}
