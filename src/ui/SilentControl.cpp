#include "SilentControl.h"

#include <commctrl.h>

#include "ButtonAccessible.h"

namespace UI {
namespace {

const wchar_t kDefaultProp[] = L"Tidewell.SilentDefault";

LRESULT CALLBACK SilentProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC original = reinterpret_cast<WNDPROC>(GetPropW(hWnd, kDefaultProp));
    switch (message) {
    case WM_PAINT:
        ValidateRect(hWnd, nullptr);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_SETTEXT:
        // Kept, not painted: a static paints its new text at once, over the skin.
        return DefWindowProcW(hWnd, message, wParam, lParam);
    case WM_GETOBJECT: {
        wchar_t cls[32] = {};
        GetClassNameW(hWnd, cls, 32);
        if (const LRESULT answer = AnswerSilentObject(hWnd, wParam, lParam, lstrcmpiW(cls, PROGRESS_CLASSW) == 0))
            return answer;
        break;
    }
    case WM_NCDESTROY:
        RemovePropW(hWnd, kDefaultProp);
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        break;
    default:
        break;
    }
    return original ? CallWindowProcW(original, hWnd, message, wParam, lParam) : DefWindowProcW(hWnd, message, wParam, lParam);
}

}  // namespace

void MakeSilent(HWND control)
{
    if (control == nullptr || GetPropW(control, kDefaultProp)) return;
    SetPropW(control, kDefaultProp, reinterpret_cast<HANDLE>(GetWindowLongPtrW(control, GWLP_WNDPROC)));
    SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SilentProc));
}

HWND CreateSilentProgress(HWND parent, int id, const RECT& rect, const wchar_t* name)
{
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, name, WS_CHILD | WS_VISIBLE, rect.left, rect.top, rect.right - rect.left,
                               rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
    if (bar == nullptr) return nullptr;
    SendMessageW(bar, PBM_SETRANGE32, 0, 1000);
    MakeSilent(bar);
    return bar;
}

}  // namespace UI
