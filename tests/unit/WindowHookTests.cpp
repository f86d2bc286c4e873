// The framework's creation hook: the object waits for a window of its class only.
#include "framework/Dialog.h"
#include <gtest/gtest.h>

namespace {

class HookedWnd : public CWnd {
public:
    using CWnd::HookWindowCreate;
    using CWnd::UnhookWindowCreate;
};

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
