// A dialog window built from a dialog template, run modally.
//
// The modal loop never shows the window: a dialog that wants to be seen shows
// itself. That is what lets a program live in a hidden modal dialog.
#pragma once
#include "framework/Wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);

    // Creates the window from its template and runs it until EndDialog or a quit
    // message; returns the modal result, or -1 when it could not run.
    virtual INT_PTR DoModal();
    // Ends the modal loop with a result; the window goes when DoModal returns.
    void EndDialog(int result);

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void DoDataExchange() {}

    // The dialog template resource and the module that holds it; null when missing.
    LPCDLGTEMPLATEA LoadTemplate(HINSTANCE& instance) const;
    // Creates the window from an in-memory template, attaching it to this object.
    BOOL CreateDlgIndirect(LPCDLGTEMPLATEA dialogTemplate, HWND parent, HINSTANCE instance);

    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR RunModalLoop(DWORD flags);

    UINT m_templateId;
    CWnd* m_pParentWnd;
    int m_nModalResult = -1;
    bool m_bContinueModal = false;
};

// The class the system gives a dialog built from a template without a class of its own.
constexpr char kDialogClassName[] = "#32770";

// Loop flag: do not tell the owner when the loop goes idle.
constexpr DWORD MLF_NOIDLEMSG = 0x0001;
