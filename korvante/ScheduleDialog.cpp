// The schedule dialog: fills its fields from the entry, checks what the user
// typed and stores the new schedule.
#include "korvante/ScheduleDialog.h"
#include "korvante/EntryKey.h"
#include "korvante/EntryTimes.h"
#include "korvante/LocalDate.h"
#include "korvante/Schedule.h"
#include "korvante/ScheduleDialogIds.h"
#include "korvante/TimeText.h"
#include "korvante/UpdateRoutes.h"

namespace {

const char* const kKindNames[] = {"None", "Daily", "Weekly", "Once", "Every N hours"};
const char* const kWeekdayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

struct DialogState {
    EntryName name;
    EntrySchedule entry;
};

// Shown in place of the next time when OK could not store the schedule.
constexpr char kNotStored[] = "Not stored: the update service is busy or not running. Try again, or Cancel.";

LRESULT Send(HWND dialog, int control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return ::SendDlgItemMessageA(dialog, control, message, wParam, lParam);
}

int Selection(HWND dialog, int control)
{
    const LRESULT index = Send(dialog, control, CB_GETCURSEL);
    return index == CB_ERR ? 0 : static_cast<int>(index);
}

// "H:MM" or "HH:MM" as minutes after midnight; -1 for anything else.
int MinutesFromText(const char* text)
{
    int hours, minutes;
    if (!ReadDigits(text, 1, 2, hours) || *text++ != ':' || !ReadDigits(text, 2, 2, minutes) || *text ||
        hours > 23 || minutes > 59)
        return -1;
    return hours * 60 + minutes;
}

// Only the fields the chosen kind uses can be edited.
void EnableFields(HWND dialog)
{
    const int kind = Selection(dialog, IDC_KIND);
    ::EnableWindow(::GetDlgItem(dialog, IDC_TIME), UsesTimeOfDay(kind));
    ::EnableWindow(::GetDlgItem(dialog, IDC_WEEKDAY), kind == kKindWeekly);
    ::EnableWindow(::GetDlgItem(dialog, IDC_HOURS), kind == kKindHourly);
}

void Fill(HWND dialog, const DialogState& state)
{
    const EntrySchedule& entry = state.entry;
    for (const char* kind : kKindNames)
        Send(dialog, IDC_KIND, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kind));
    for (const char* day : kWeekdayNames)
        Send(dialog, IDC_WEEKDAY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(day));
    const bool knownKind = entry.kind >= kKindNone && entry.kind <= kKindHourly;
    const int minutes = UsesTimeOfDay(entry.kind) && entry.a >= 0 && entry.a < kMinutesPerDay ? entry.a : 0;
    const int hours = entry.kind == kKindHourly && entry.a >= 1 && entry.a <= kMaxHours ? entry.a : 24;
    const int weekday = entry.kind == kKindWeekly && entry.b >= 0 && entry.b <= 6 ? entry.b : 0;
    Send(dialog, IDC_KIND, CB_SETCURSEL, knownKind ? entry.kind : kKindNone);
    Send(dialog, IDC_WEEKDAY, CB_SETCURSEL, weekday);
    char text[16];
    ::wsprintfA(text, "%02d:%02d", minutes / 60, minutes % 60);
    ::SetDlgItemTextA(dialog, IDC_TIME, text);
    ::SetDlgItemInt(dialog, IDC_HOURS, hours, FALSE);
    Send(dialog, IDC_TIME, EM_LIMITTEXT, 5);
    Send(dialog, IDC_HOURS, EM_LIMITTEXT, 4);
    char line[300] = "Default schedule";
    if (!state.name.IsDefault())
        ::wsprintfA(line, "Product: %s", state.name.Text());
    ::SetDlgItemTextA(dialog, IDC_ENTRY_NAME, line);
    char next[kTimeTextSize];
    ::wsprintfA(line, "Next update: %s", TimeToText(entry.next, next) ? next : "none");
    ::SetDlgItemTextA(dialog, IDC_NEXT_TIME, line);
    EnableFields(dialog);
}

// Points the user at a field that does not hold a usable value.
void Reject(HWND dialog, int control)
{
    ::MessageBeep(MB_ICONWARNING);
    ::SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, control)), TRUE);
    Send(dialog, control, EM_SETSEL, 0, -1);
}

// Reads the fields into kind, a and b; false (after pointing at the field) when one is unusable.
bool ReadFields(HWND dialog, int& kind, int& a, int& b)
{
    kind = Selection(dialog, IDC_KIND);
    a = 0;
    b = kind == kKindWeekly ? Selection(dialog, IDC_WEEKDAY) : 0;
    if (kind == kKindHourly) {
        BOOL ok = FALSE;
        const UINT hours = ::GetDlgItemInt(dialog, IDC_HOURS, &ok, FALSE);
        if (!ok || hours < 1 || hours > kMaxHours) {
            Reject(dialog, IDC_HOURS);
            return false;
        }
        a = static_cast<int>(hours);
    } else if (kind != kKindNone) {
        char text[16];
        ::GetDlgItemTextA(dialog, IDC_TIME, text, sizeof text);
        a = MinutesFromText(text);
        if (a < 0) {
            Reject(dialog, IDC_TIME);
            return false;
        }
    }
    return true;
}

INT_PTR CALLBACK ScheduleDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        Fill(dialog, *reinterpret_cast<DialogState*>(lParam));
        return TRUE;
    case WM_COMMAND: {
        const auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrA(dialog, DWLP_USER));
        int kind, a, b;
        switch (LOWORD(wParam)) {
        case IDC_KIND:
            if (HIWORD(wParam) == CBN_SELCHANGE)
                EnableFields(dialog);
            return TRUE;
        case IDOK:
            if (!ReadFields(dialog, kind, a, b))
                return TRUE;
            // A schedule that could not be stored keeps the dialog open, saying so:
            // the user's choice is not dropped as though Cancel had been pressed.
            if (RouteStoreSchedule(state->name, kind, a, b))
                ::EndDialog(dialog, IDOK);
            else
                ::SetDlgItemTextA(dialog, IDC_NEXT_TIME, kNotStored);
            return TRUE;
        case IDCANCEL:
            ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

// The foreground window when this thread owns it; a window of another thread
// or program would be disabled while the dialog runs.
HWND OwnerWindow()
{
    const HWND foreground = ::GetForegroundWindow();
    return foreground && ::GetWindowThreadProcessId(foreground, nullptr) == ::GetCurrentThreadId() ? foreground
                                                                                                   : nullptr;
}

} // namespace

bool EditEntrySchedule(HINSTANCE module, const char* name)
{
    DialogState state{EntryName(name), EntrySchedule()};
    if (!state.name.Valid() || (!ReadSettledEntry(state.name, state.entry) && !state.name.IsDefault()))
        return false;
    return ::DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_SCHEDULE), OwnerWindow(), ScheduleDialogProc,
                             reinterpret_cast<LPARAM>(&state)) == IDOK;
}
