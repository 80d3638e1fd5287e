// The dialog base of the window framework: modal or modeless, bound to its
// C++ object on WM_INITDIALOG (the object's address is the creation
// parameter). Every message goes to the virtual WindowProc, whose base
// version runs the framework's handlers and otherwise leaves the message to
// the dialog manager's default processing.
#pragma once

#include <windows.h>

namespace UI {

class CDialogBase {
public:
    explicit CDialogBase(UINT nIDTemplate) : m_nIDTemplate(nIDTemplate) {}
    virtual ~CDialogBase();
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Runs the dialog modally; the result of EndDialog, or -1.
    INT_PTR DoModal(HWND hOwner = nullptr);
    // Creates the dialog modelessly; false when the template fails.
    bool Create(HWND hOwner = nullptr);
    // Ends a modal dialog, destroys a modeless one.
    void EndDialog(INT_PTR result);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    UINT TemplateId() const { return m_nIDTemplate; }
    bool IsModal() const { return m_bModal; }

    // The object bound to a dialog window of this framework, or null.
    static CDialogBase* FromHandle(HWND hWnd);

protected:
    // TRUE lets the dialog manager set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // The command switch; true when the command was handled.
    virtual bool OnCommand(UINT id, UINT code);
    // Every message of the window. Derived classes handle theirs and pass
    // the rest (or all) on to this one. The result is the dialog
    // procedure's: FALSE leaves the message to the default processing.
    virtual INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // For messages whose result is not TRUE/FALSE.
    INT_PTR SetResult(LRESULT result);

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK StaticProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nIDTemplate;
    bool m_bModal = false;
};

}  // namespace UI
