// EditSchedule: the schedule dialog, worked from a second thread the way a user
// works it, once to OK and once to Cancel.
#include "korvante/ScheduleDialogIds.h"
#include "tests/unit/KorvanteFixture.h"
#include <atomic>
#include <functional>
#include <thread>

namespace {

class KorvanteDialogTest : public KorvanteTest {
protected:
    // Calls EditSchedule here while act() works the dialog from another thread;
    // m_seen tells whether a dialog came up.
    int Edit(const char* name, const std::function<void(HWND)>& act)
    {
        std::atomic<bool> returned{false};
        m_seen = false;
        std::thread user([&] {
            HWND dialog = nullptr;
            // The dialog shows itself once its fields are filled.
            while (!returned && !(dialog && ::IsWindowVisible(dialog))) {
                ::Sleep(20);
                dialog = ::FindWindowA("#32770", "Update Schedule");
            }
            if (!returned) {
                m_seen = true;
                act(dialog);
            }
        });
        const int result = EditSchedule(name);
        returned = true;
        user.join();
        return result;
    }

    static void Choose(HWND dialog, int control, int index) { ::SendDlgItemMessageA(dialog, control, CB_SETCURSEL, index, 0); }
    static void Click(HWND dialog, int button) { ::PostMessageA(dialog, WM_COMMAND, button, 0); }
    static std::string ItemText(HWND dialog, int control)
    {
        char text[300] = "";
        ::GetDlgItemTextA(dialog, control, text, sizeof text);
        return text;
    }

    bool m_seen = false;
};

} // namespace

TEST_F(KorvanteDialogTest, OkStoresTheScheduleAndItsNextTime)
{
    Schedule("Alpha", 1, 8 * 60 + 15, 0, COleDateTime(2031, 1, 1, 8, 15, 0).m_dt);
    std::string shown;
    EXPECT_EQ(Edit("Alpha", [&](HWND dialog) {
                  shown = ItemText(dialog, IDC_ENTRY_NAME) + "|" + ItemText(dialog, IDC_TIME) + "|" +
                          ItemText(dialog, IDC_NEXT_TIME);
                  Choose(dialog, IDC_KIND, 2);
                  ::SetDlgItemTextA(dialog, IDC_TIME, "7:30");
                  Choose(dialog, IDC_WEEKDAY, 3);
                  Click(dialog, IDOK);
              }),
              1);
    EXPECT_EQ(shown, "Product: Alpha|08:15|Next update: 2031-01-01 08:15:00");
    int kind = 0, a = 0, b = 0;
    GetSchedule("Alpha", nullptr, nullptr, &kind, &a, &b);
    EXPECT_EQ(std::to_string(kind) + " " + std::to_string(a) + " " + std::to_string(b), "2 450 3");
    EXPECT_EQ(NextText("Alpha"), Text(NextScheduledTime(2, 3, 450).m_dt));
}

// OK on a time that is no time, or on a schedule that cannot be stored (a
// standard user's key with no service), keeps the dialog open, the latter
// saying so; Cancel then changes nothing. A product without a key, or a name
// that cannot be one, gets no dialog.
TEST_F(KorvanteDialogTest, CancelAndUnusableNamesOrFieldsChangeNothing)
{
    Schedule("Alpha", 1, 600, 0, COleDateTime(2031, 1, 1, 10, 0, 0).m_dt);
    for (const char* time : {"25:00", "11:00"}) {
        const bool stored = std::string(time) == "11:00";
        ProductKeyAccess readOnly(stored ? "D:P(A;;KR;;;WD)" : "D:(A;;KA;;;WD)", "Alpha");
        bool openAfterOk = false;
        std::string said;
        EXPECT_EQ(Edit("Alpha", [&](HWND dialog) {
                      ::SetDlgItemTextA(dialog, IDC_TIME, time);
                      Click(dialog, IDOK);
                      ::Sleep(300);
                      openAfterOk = ::IsWindow(dialog);
                      said = ItemText(dialog, IDC_NEXT_TIME);
                      Click(dialog, IDCANCEL);
                  }),
                  0);
        EXPECT_TRUE(openAfterOk) << time;
        EXPECT_EQ(said.rfind("Not stored", 0) == 0, stored) << said;
    }
    EXPECT_EQ(NextText("Alpha"), "2031-01-01 10:00:00");
    const std::string longName(256, 'n');
    for (const char* name : {"Ghost", static_cast<const char*>(nullptr), longName.c_str()}) {
        EXPECT_EQ(Edit(name, [](HWND dialog) { Click(dialog, IDCANCEL); }), 0);
        EXPECT_FALSE(m_seen);
    }
    EXPECT_EQ(RegisteredProducts(), std::vector<std::string>{"Alpha"});
}

// With schedules locked by policy, a standard user (administrators deny-only in
// the token, as under UAC) sees the schedule read-only and why; an administrator
// still edits it.
TEST_F(KorvanteDialogTest, ALockedScheduleIsReadOnlyToAStandardUser)
{
    Schedule("Alpha", 1, 600, 0, COleDateTime(2031, 1, 1, 10, 0, 0).m_dt);
    SetPolicyValue("LockSchedules", 1u);
    const HANDLE restricted = StandardUserToken();
    HANDLE user = nullptr;
    ASSERT_TRUE(restricted && ::DuplicateToken(restricted, SecurityImpersonation, &user));
    for (const bool standardUser : {true, false}) {
        if (standardUser) {
            ASSERT_TRUE(::SetThreadToken(nullptr, user));
        }
        bool okEnabled = true;
        std::string said;
        const int result = Edit("Alpha", [&](HWND dialog) {
            okEnabled = ::IsWindowEnabled(::GetDlgItem(dialog, IDOK)) && ::IsWindowEnabled(::GetDlgItem(dialog, IDC_KIND));
            said = ItemText(dialog, IDC_NEXT_TIME);
            ::SetDlgItemTextA(dialog, IDC_TIME, "11:00");
            Click(dialog, IDOK);
            ::Sleep(300);
            if (::IsWindow(dialog))
                Click(dialog, IDCANCEL);
        });
        ::SetThreadToken(nullptr, nullptr);
        EXPECT_EQ(okEnabled, !standardUser);
        EXPECT_EQ(said.find("The administrator manages this schedule.") != std::string::npos, standardUser) << said;
        EXPECT_EQ(result, standardUser ? 0 : 1);
        EXPECT_EQ(NextText("Alpha") == "2031-01-01 10:00:00", standardUser);
    }
    DeletePolicies();
    for (HANDLE handle : {user, restricted})
        ::CloseHandle(handle);
}
