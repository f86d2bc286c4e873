// The commands that reach the agent from its menus, or from itself at start-up.
#include "AgentDlg.h"
#include "TimerMath.h"
#include "resource.h"
#include "catalog/ProductList.h"
#include "engine/Korvante.h"

BOOL CAgentDlg::OnCommand(WPARAM wParam, LPARAM)
{
    // The dialog's own OK and Cancel (Enter and Esc) deliberately fall into the
    // product case and do nothing: the agent window is never dismissed that way.
    switch (LOWORD(wParam)) {
    case ID_SCHEDULE_DEFAULT:
        EditSchedule("");
        KillTimer(kScheduleTimerId);
        Reschedule();
        break;

    case ID_CLOSE_AGENT:
        RemoveTrayIcon();
        ::PostQuitMessage(0);
        break;

    case ID_SUSPEND_AGENT: {
        m_bActive = FALSE;
        CString text;
        text.LoadString(IDS_SUSPENDED);
        KillTimer(kScheduleTimerId);
        ShowTrayIcon(IDI_SUSPENDED, text);
        if (m_bSysMenuMode)
            PresentSuspended(text);
        break;
    }

    case ID_ACTIVATE_AGENT: {
        m_bActive = TRUE;
        const COleDateTime when = EarliestScheduledTime();
        if (m_bDefaultFlag) {
            PrepareDefault("", m_szEngineBuf);
            ImportCatalog();
        }
        m_bDefaultFlag = FALSE;
        // No KillTimer here: a timer still pending is replaced by a new time and
        // left running when nothing is scheduled.
        if (!IsZeroTime(when))
            ArmTimer(when);
        ShowStatus(when);
        if (m_bSysMenuMode)
            PresentActive();
        break;
    }

    default:
        ScheduleProduct(static_cast<UINT>(wParam));
        break;
    }
    return FALSE;
}

BOOL CAgentDlg::ScheduleProduct(UINT id)
{
    // Product k of a freshly loaded list carries 400 + 16 k; only the first six count.
    if (id < 401 || id > 499)
        return FALSE;
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
