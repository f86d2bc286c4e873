// The one schedule timer: set for the earliest moment the default entry or any
// product is next scheduled, and set anew whenever the schedule may have changed.
#include "AgentDlg.h"
#include "TimerMath.h"
#include "catalog/ProductList.h"
#include "engine/Korvante.h"

COleDateTime CAgentDlg::EarliestScheduledTime()
{
    COleDateTime best;
    if (GetNextTime("", &best))
        m_bDefaultFlag = TRUE;

    CProductList products;
    products.LoadFromRegistry();
    for (const char* name = products.Current(); name; name = products.Next()) {
        COleDateTime when;
        GetNextTime(name, &when);
        // On equal times the earlier candidate stays, the default entry first.
        if (!IsZeroTime(when) && (IsZeroTime(best) || when < best))
            best = when;
    }
    return best;
}

void CAgentDlg::ArmTimer(COleDateTime when)
{
    const COleDateTime now = COleDateTime::GetCurrentTime();
    if (IsZeroTime(when))
        return;
    const double seconds = (when - now).GetTotalSeconds();
    if (seconds <= 0) {
        // The moment has come: run as soon as the message loop gets here.
        PostMessage(WM_TIMER, 0, 0);
        return;
    }
    SetTimer(kScheduleTimerId, TimerDelayMs(seconds));
}

void CAgentDlg::Reschedule()
{
    const COleDateTime when = EarliestScheduledTime();
    if (!IsZeroTime(when))
        ArmTimer(when);
    ShowStatus(when);
}

void CAgentDlg::OnTimeChange()
{
    KillTimer(kScheduleTimerId);
    Reschedule();
    Default();
}
