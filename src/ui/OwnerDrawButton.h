// The owner-drawn button base: a button control of a dialog template,
// subclassed so that its object sees every message first and draws itself
// when the dialog reflects WM_DRAWITEM.
#pragma once

#include <windows.h>

namespace UI {

class COwnerDrawButton {
public:
    COwnerDrawButton() = default;
    virtual ~COwnerDrawButton();
    COwnerDrawButton(const COwnerDrawButton&) = delete;
    COwnerDrawButton& operator=(const COwnerDrawButton&) = delete;

    // Binds the object to control id of the dialog; false when there is no
    // such control or the object is bound already.
    bool Attach(HWND hDlg, int id);
    HWND GetSafeHwnd() const { return m_hWnd; }
    static COwnerDrawButton* FromHandle(HWND hWnd);

    virtual void DrawItem(const DRAWITEMSTRUCT& item) = 0;

protected:
    // Every message of the control; the base passes it to the control's
    // own procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnAttached() {}
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK StaticProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Detach();

    WNDPROC m_pfnDefault = nullptr;
};

// The focus of a dialog's buttons is drawn once the player has used the
// keyboard there (Tab); set, asked and cleared on the dialog.
void MarkKeyboardUsed(HWND dialog);
bool KeyboardUsed(HWND dialog);
void ForgetKeyboardUse(HWND dialog);

}  // namespace UI
