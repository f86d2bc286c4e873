// The framework's window plumbing: the creation hook waits for a window of its
// class only, and a modal dialog ends with its window gone.
#include "app/resource.h"
#include "framework/Dialog.h"
#include <gtest/gtest.h>

namespace {

class HookedWnd : public CWnd {
public:
    using CWnd::HookWindowCreate;
    using CWnd::UnhookWindowCreate;
};

CDialog* g_modal = nullptr;
HWND g_modalWindow = nullptr;

void CALLBACK EndModal(HWND, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(nullptr, timer);
    g_modalWindow = g_modal->GetSafeHwnd();
    g_modal->EndDialog(7);
}

} // namespace

TEST(CreationHook, AttachesOnlyTheWindowOfItsClass)
{
    auto create = [](const char* className) {
        return ::CreateWindowExA(0, className, "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    };
    HookedWnd wnd;
    HookedWnd::HookWindowCreate(&wnd, kDialogClassName);
    // What the system may create first on the thread, an input-method window say.
    HWND other = create("STATIC");
    EXPECT_EQ(nullptr, wnd.GetSafeHwnd());
    HWND dialog = create(kDialogClassName);
    HookedWnd::UnhookWindowCreate();
    EXPECT_EQ(dialog, wnd.GetSafeHwnd());
    ::DestroyWindow(other);
    ::DestroyWindow(dialog);
    EXPECT_EQ(nullptr, wnd.GetSafeHwnd());
}

// The agent's end runs in its window's destroy handler (icon removed, quit
// posted), so DoModal must not return with the window still there.
TEST(ModalDialog, ReturnsTheResultWithItsWindowDestroyed)
{
    CDialog dialog(IDD_AGENT);
    g_modal = &dialog;
    ::SetTimer(nullptr, 0, 10, EndModal);
    EXPECT_EQ(7, dialog.DoModal());
    ASSERT_NE(nullptr, g_modalWindow);
    EXPECT_FALSE(::IsWindow(g_modalWindow));
    EXPECT_EQ(nullptr, dialog.GetSafeHwnd());
}
