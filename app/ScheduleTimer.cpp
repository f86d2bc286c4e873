// The one schedule timer: set for the earliest moment the default entry or any
// product is next scheduled, and set anew whenever the schedule may have changed.
#include "app/AgentDlg.h"
#include "app/TimerMath.h"
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
    // A suspended agent keeps no timer and runs nothing until Activate, whatever
    // recomputes its schedule meanwhile.
    if (!m_bActive)
        return;
    const SYSTEMTIME clock = LocalTime();
    const COleDateTime now = COleDateTime::FromSystemTime(clock);
    if (IsZeroTime(when)) {
        m_nRetryMs = 0;
        return;
    }
    const double seconds = (when - now).GetTotalSeconds();
    // Runs are spaced out (OnTimer sets the spacing) until the time is ahead again.
    if (seconds > 0)
        m_nRetryMs = 0;
    if (m_nRetryMs)
        SetScheduleTimer(m_nRetryMs);
    else if (seconds < 0)
        PostMessage(WM_TIMER, 0, 0);   // the moment has passed: run as soon as the loop gets here
    else
        SetScheduleTimer(DelayUntilDueMs(seconds, clock.wMilliseconds));
}

SYSTEMTIME CAgentDlg::LocalTime()
{
    SYSTEMTIME clock;
    ::GetLocalTime(&clock);
    return clock;
}

void CAgentDlg::SetScheduleTimer(UINT delayMs)
{
    SetTimer(kScheduleTimerId, delayMs);
}

void CAgentDlg::Reschedule()
{
    if (m_bClosing)
        return;
    const COleDateTime when = EarliestScheduledTime();
    ArmTimer(when);
    ShowStatus(when);
}

void CAgentDlg::RecomputeSchedule()
{
    // During a run the run's own Reschedule, right after it, covers this.
    if (m_bInRun)
        return;
    KillTimer(kScheduleTimerId);
    Reschedule();
}

void CAgentDlg::OnTimeChange()
{
    RecomputeSchedule();
    Default();
}

LRESULT CAgentDlg::OnPowerBroadcast(WPARAM event)
{
    // After sleep the timer's count has stood still while the clock went on; on
    // the mains again, an update held while on battery may run.
    if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND || event == PBT_APMRESUMECRITICAL ||
        event == PBT_APMPOWERSTATUSCHANGE)
        RecomputeSchedule();
    return TRUE;
}

void CAgentDlg::OnSettingChange(const char* area)
{
    if (area && ::lstrcmpiA(area, "Policy") == 0)
        RecomputeSchedule();
    Default();
}
