// The commands that reach the agent from its menus, or from itself at start-up.
#include "app/AgentDlg.h"
#include "app/resource.h"
#include "catalog/ProductList.h"
#include "engine/Korvante.h"

BOOL CAgentDlg::OnCommand(WPARAM wParam, LPARAM)
{
    if (m_bClosing)
        return FALSE;
    // A library call's message loop can hand us a command in the middle of a run;
    // only Close is carried out there, the rest once the run is over.
    if (m_bInRun && LOWORD(wParam) != ID_CLOSE_AGENT) {
        DeferCommand(static_cast<UINT>(wParam));
        return FALSE;
    }
    // The dialog's own OK and Cancel (Enter and Esc) deliberately fall into the
    // product case and do nothing: the agent window is never dismissed that way.
    switch (LOWORD(wParam)) {
    case ID_SCHEDULE_DEFAULT: ScheduleDefault(); break;
    case ID_CLOSE_AGENT: CloseAgent(); break;
    case ID_SUSPEND_AGENT: Suspend(); break;
    case ID_ACTIVATE_AGENT: Activate(); break;
    default: ScheduleProduct(static_cast<UINT>(wParam)); break;
    }
    return FALSE;
}

void CAgentDlg::ScheduleDefault()
{
    EditSchedule("");
    KillTimer(kScheduleTimerId);
    Reschedule();
}

void CAgentDlg::CloseAgent()
{
    m_bClosing = TRUE;
    RemoveTrayIcon();
    ::PostQuitMessage(0);
}

void CAgentDlg::Suspend()
{
    m_bActive = FALSE;
    CString text;
    text.LoadString(IDS_SUSPENDED);
    KillTimer(kScheduleTimerId);
    ShowTrayIcon(IDI_SUSPENDED, text);
    if (m_bSysMenuMode)
        PresentSuspended(text);
}

void CAgentDlg::Activate()
{
    m_bActive = TRUE;
    const COleDateTime when = EarliestScheduledTime();
    if (m_bDefaultFlag) {
        PrepareDefault("", m_szEngineBuf);
        ImportCatalog();
    }
    m_bDefaultFlag = FALSE;
    // No KillTimer here: a timer still pending is replaced by a new time and
    // left running when nothing is scheduled.
    ArmTimer(when);
    ShowStatus(when);
    if (m_bSysMenuMode)
        PresentActive();
}

void CAgentDlg::DeferCommand(UINT command)
{
    // The same command twice is carried out once.
    for (int i = 0; i < m_nDeferredCommands; ++i)
        if (m_deferredCommands[i] == command)
            return;
    if (m_nDeferredCommands < static_cast<int>(sizeof m_deferredCommands / sizeof m_deferredCommands[0]))
        m_deferredCommands[m_nDeferredCommands++] = command;
}

void CAgentDlg::PostDeferredCommands()
{
    for (int i = 0; i < m_nDeferredCommands; ++i)
        PostMessage(WM_COMMAND, m_deferredCommands[i], 0);
    m_nDeferredCommands = 0;
}

BOOL CAgentDlg::ScheduleProduct(UINT id)
{
    // Product k of a freshly loaded list carries 400 + 16 k; only the first six count.
    if (id < 401 || id > 499)
        return FALSE;
    // The system menu hands product items straight here, also during a run.
    if (m_bInRun) {
        DeferCommand(id);
        return FALSE;
    }
    CProductList products;
    products.LoadFromRegistry();
    if (!products.First())
        return FALSE;
    for (UINT step = (id - 401) / 16; step > 0; --step) {
        // The registry lost products since the menu was built: nothing to edit.
        if (!products.Next())
            return FALSE;
    }
    EditSchedule(products.Current());
    KillTimer(kScheduleTimerId);
    Reschedule();
    return TRUE;
}
