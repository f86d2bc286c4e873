// The due-update run: when the timer fires, every product whose time has come is
// updated through the update library, schedules move on and the catalog is refreshed.
#include "app/AgentDlg.h"
#include "app/TimerMath.h"
#include "catalog/ProductList.h"
#include "engine/Korvante.h"

void CAgentDlg::OnTimer(UINT_PTR)
{
    // The identifier is not looked at: a posted WM_TIMER with 0 runs just the same.
    KillTimer(kScheduleTimerId);
    if (m_bClosing)
        return;
    // A library call's message loop handed us this in the middle of a run: never
    // a run inside a run, but one more right after it.
    if (m_bInRun) {
        m_bRunAgain = TRUE;
        return;
    }
    // Suspended: a timer that was already on its way, or the run once more that a
    // Suspend chosen during a run follows, runs nothing.
    if (!m_bActive)
        return;
    // Waits are cut to an hour and clocks drift: a wake-up before the earliest time
    // only waits again, asking the library for nothing but the times. This look
    // leaves the default entry's flag as the last schedule left it.
    const BOOL defaultFlag = m_bDefaultFlag;
    const COleDateTime when = EarliestScheduledTime();
    m_bDefaultFlag = defaultFlag;
    if (!IsZeroTime(when) && !(Now() > when)) {
        ArmTimer(when);
        return;
    }
    m_bInRun = TRUE;
    RunDueUpdates();
    m_bInRun = FALSE;
    if (m_bClosing)
        return;

    // Should the earliest time still not be ahead, the next run waits a while.
    m_nRetryMs = NextRetryMs(m_nRetryMs);
    Reschedule();
    PostDeferredCommands();
    if (m_bRunAgain) {
        m_bRunAgain = FALSE;
        PostMessage(WM_TIMER, 0, 0);
    }
    Default();
}

void CAgentDlg::RunDueUpdates()
{
    char catalogPath[kPathBufferSize];
    if (!GetCatalogPath(catalogPath))
        return;

    CProductList products;
    products.LoadFromRegistry();
    BeginBatch();

    {
        // The run's job buffers, released with this block.
        char jobA[kKorvanteBufferSize] = "", jobB[kKorvanteBufferSize] = "";
        // Closing during an update starts no further one.
        for (const char* name = products.Current(); name && !m_bClosing; name = products.Next()) {
            jobA[0] = 0;
            jobB[0] = 0;
            if (CheckProductDue(name, jobA, jobB))
                RunUpdate(name, m_szEngineBuf, jobA, jobB, 0);
        }
    }

    // While the default entry reports a pending time, the catalog waits; an agent
    // that is closing only closes the bracket.
    if (!m_bDefaultFlag && !m_bClosing) {
        RefreshCatalog(0, m_szEngineBuf, catalogPath);
        CProductList catalog;
        catalog.LoadFromFile(catalogPath);
        catalog.SaveToRegistry();
    }
    m_bDefaultFlag = FALSE;
    EndBatch();
    if (!m_bClosing)
        AdvanceDefaultSchedule();
}

BOOL CAgentDlg::CheckProductDue(const char* name, char* jobA, char* jobB)
{
    const COleDateTime now = Now();
    COleDateTime due;
    PrepareProduct(name, m_szEngineBuf);
    const int advance = GetDueTime(name, &due);
    if (!(now > due))
        return FALSE;

    int kind = 0, a = 0, b = 0;
    GetSchedule(name, nullptr, nullptr, &kind, &a, &b);
    if (advance)
        SetNextTime(name, NextScheduledTime(kind, b, a));
    PrepareUpdate(name, jobA, jobB);
    return TRUE;
}

void CAgentDlg::AdvanceDefaultSchedule()
{
    COleDateTime next;
    GetNextTime("", &next);
    int unusedX = 0, unusedY = 0, kind = 0, a = 0, b = 0;
    GetSchedule("", &unusedX, &unusedY, &kind, &a, &b);
    const COleDateTime now = Now();
    if (kind == kKindNotAdvanced)
        return;
    if (now > next)
        SetNextTime("", NextScheduledTime(kind, b, a));
}
