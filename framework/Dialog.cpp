// Dialogs from a template, and the modal loop that runs them without showing them.
#include "framework/Dialog.h"
#include "framework/WinApp.h"

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_pParentWnd(parent) {}

LPCDLGTEMPLATEA CDialog::LoadTemplate(HINSTANCE& instance) const
{
    instance = AfxFindResourceHandle(MAKEINTRESOURCEA(m_templateId), RT_DIALOG);
    HRSRC resource = ::FindResourceA(instance, MAKEINTRESOURCEA(m_templateId), RT_DIALOG);
    HGLOBAL loaded = resource ? ::LoadResource(instance, resource) : nullptr;
    return static_cast<LPCDLGTEMPLATEA>(loaded ? ::LockResource(loaded) : nullptr);
}

INT_PTR CDialog::DoModal()
{
    HINSTANCE instance;
    LPCDLGTEMPLATEA dialogTemplate = LoadTemplate(instance);
    if (!dialogTemplate)
        return -1;

    // An owner is disabled while the dialog runs; a dialog without one disables nothing.
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    const bool ownerDisabled = owner && ::IsWindowEnabled(owner) && !::EnableWindow(owner, FALSE);

    m_nModalResult = -1;
    m_bContinueModal = true;
    if (CreateDlgIndirect(dialogTemplate, owner, instance)) {
        if (m_bContinueModal)
            RunModalLoop((GetStyle() & DS_NOIDLEMSG) ? MLF_NOIDLEMSG : 0);
        if (m_hWnd)
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }

    if (ownerDisabled)
        ::EnableWindow(owner, TRUE);
    if (owner && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(owner);
    DestroyWindow();
    return m_nModalResult;
}

void CDialog::EndDialog(int result)
{
    m_nModalResult = result;
    if (m_bContinueModal) {
        m_bContinueModal = false;
        // Wake the loop so that it sees the change.
        if (m_hWnd)
            PostMessage(WM_NULL);
    }
}

BOOL CDialog::CreateDlgIndirect(LPCDLGTEMPLATEA dialogTemplate, HWND parent, HINSTANCE instance)
{
    HookWindowCreate(this, kDialogClassName);
    HWND window = ::CreateDialogIndirectParamA(instance, dialogTemplate, parent, &CDialog::DialogProc, 0);
    UnhookWindowCreate();
    return window != nullptr;
}

bool CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_INITDIALOG) {
        Default();
        DoDataExchange();
        *result = OnInitDialog();
        return true;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

// Every message reaches the object through its window procedure first; what it
// hands to default processing arrives here and is left to the dialog manager.
INT_PTR CALLBACK CDialog::DialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

INT_PTR CDialog::RunModalLoop(DWORD)
{
    // A modal loop without an owner has nobody to tell about idle time, so the
    // only flag there is changes nothing here; the window is never shown by the loop.
    MSG msg;
    while (m_bContinueModal) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // A quit message ends the loop; pass it on to whoever loops outside.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            m_nModalResult = -1;
            break;
        }
        if (got == -1) {
            // The queue cannot be read: end the loop, but invent no quit message.
            m_nModalResult = -1;
            break;
        }
        if (!m_hWnd || !::IsDialogMessageA(m_hWnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return m_nModalResult;
}
