// The player of the launcher's whole runs: finds windows, controls and
// message boxes of other processes through the Win32 API and clicks them.
// Its arguments are steps, run in order; the first that fails ends it with
// exit code 1 and a line on stderr.
//
//   wait-window TITLE MS        a visible top-level window whose title holds TITLE
//   wait-gone TITLE MS          no such window any more
//   wait-enabled TITLE ID MS    control ID of that window can be clicked
//   wait-iconic TITLE ID MS     the window holding control ID is minimised
//   wait-restored TITLE ID MS   ... is shown and not minimised
//   disabled TITLE ID           control ID of that window takes no click now
//   wait-text TITLE ID TEXT MS  control ID's text holds TEXT; prints it
//   click TITLE ID              BM_CLICK on control ID
//   mouse-click TITLE ID        the real mouse moved onto the control and clicked
//   box TEXT BUTTON MS          a message box whose text holds TEXT, answered
//                               with BUTTON (ok, cancel, retry, yes, no)
//   signal FILE                 creates FILE (for the script around it)
//   await FILE MS               waits until FILE exists
//   rect TITLE                  prints the window's x y width height
//   rect-holding ID             the same for the window that holds control ID
//   rect-control TITLE ID       control ID's x y width height in its window
//   dpi-changed ID DPI          tells the window holding control ID that it
//                               now lies on a monitor of DPI, as Windows does
//                               when a window is dragged onto one
//   tray-menu TITLE ID N MS     the notification-area menu of the window holding
//                               control ID, opened as the shell opens it on a
//                               right click of the icon, and its entry N (from 0)
//                               chosen with the arrow keys and Enter
//   keys TITLE ID K...;         the window holding control ID brought to the
//                               front, then keys pressed as a player presses
//                               them (tab, shift-tab, enter, space, escape), up to ";"
//   focus TITLE ID TEXT MS      the control with the keyboard focus in that
//                               window: its accessible name holds TEXT and its
//                               role is a push button; prints both
//   accessible TITLE ID ROLE TEXT MS
//                               control ID as a screen reader has it: its role
//                               (progressbar, statictext) and "NAME: VALUE"
//                               holding TEXT; prints it
//   close TITLE                 WM_CLOSE
//   unregister                  removes the launcher's file-type key, which
//                               would send the next launcher to the
//                               installation that wrote it
#include <windows.h>
#include <oleacc.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Found {
    const wchar_t* title;
    const wchar_t* cls;
    HWND hWnd;
    int control;  // the window must hold this control (0: any window)
};

BOOL CALLBACK FindProc(HWND hWnd, LPARAM lParam)
{
    auto* f = reinterpret_cast<Found*>(lParam);
    if (!IsWindowVisible(hWnd)) return TRUE;
    wchar_t text[512] = L"", cls[64] = L"";
    GetWindowTextW(hWnd, text, 512);
    GetClassNameW(hWnd, cls, 64);
    if (f->cls && wcscmp(cls, f->cls) != 0) return TRUE;
    if (f->title && !wcsstr(text, f->title)) return TRUE;
    if (f->control && !GetDlgItem(hWnd, f->control)) return TRUE;
    f->hWnd = hWnd;
    return FALSE;
}

HWND FindTop(const wchar_t* title, const wchar_t* cls = nullptr)
{
    Found f = {title, cls, nullptr, 0};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&f));
    return f.hWnd;
}

// The control of a window with that title (a launcher has two).
HWND FindControl(const wchar_t* title, int id)
{
    Found f = {title, nullptr, nullptr, id};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&f));
    return f.hWnd ? GetDlgItem(f.hWnd, id) : nullptr;
}

template <class F>
bool WaitFor(DWORD ms, F done)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(50);  // another process's state: nothing to wait on
    }
}

// The text of a message box: its visible static controls.
std::wstring BoxText(HWND box)
{
    std::wstring all;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[32] = L"", text[2048] = L"";
        GetClassNameW(c, cls, 32);
        if (_wcsicmp(cls, L"Static") != 0 || !IsWindowVisible(c)) continue;
        GetWindowTextW(c, text, 2048);
        all += text;
    }
    return all;
}

struct BoxSearch {
    const wchar_t* text;
    HWND hWnd;
};

BOOL CALLBACK BoxProc(HWND hWnd, LPARAM lParam)
{
    auto* s = reinterpret_cast<BoxSearch*>(lParam);
    wchar_t cls[64] = L"";
    GetClassNameW(hWnd, cls, 64);
    if (!IsWindowVisible(hWnd) || wcscmp(cls, L"#32770") != 0) return TRUE;
    // A message box has its text in static controls and answer buttons; the
    // launcher's own dialogs have no such buttons (its main window has a
    // static: the status line for screen readers).
    bool answers = false;
    for (int id : {IDOK, IDCANCEL, IDRETRY, IDYES, IDNO}) answers = answers || GetDlgItem(hWnd, id) != nullptr;
    if (!answers) return TRUE;
    const std::wstring text = BoxText(hWnd);
    if (text.empty() || text.find(s->text) == std::wstring::npos) return TRUE;
    s->hWnd = hWnd;
    return FALSE;
}

int ButtonId(const std::wstring& name)
{
    if (name == L"ok") return IDOK;
    if (name == L"cancel") return IDCANCEL;
    if (name == L"retry") return IDRETRY;
    if (name == L"yes") return IDYES;
    if (name == L"no") return IDNO;
    return _wtoi(name.c_str());
}

void MouseClick(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    SetCursorPos(x, y);
    INPUT in[3] = {};
    const int sx = GetSystemMetrics(SM_CXSCREEN) - 1, sy = GetSystemMetrics(SM_CYSCREEN) - 1;
    in[0].type = INPUT_MOUSE;
    in[0].mi.dx = x * 65535 / sx;
    in[0].mi.dy = y * 65535 / sy;
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].type = INPUT_MOUSE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[2].type = INPUT_MOUSE;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &in[0], sizeof(INPUT));
    Sleep(150);  // hover tracking sees the mouse arrive
    SendInput(2, &in[1], sizeof(INPUT));
}

void Key(WORD vk)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
    Sleep(50);  // the menu's loop takes each key before the next
}

// The accessible name and role of a control, as a screen reader reads them.
bool Accessible(HWND control, std::wstring* name, long* role, std::wstring* value = nullptr)
{
    IAccessible* acc = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&acc))))
        return false;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    VARIANT r;
    VariantInit(&r);
    const bool ok = SUCCEEDED(acc->get_accName(self, &text)) && SUCCEEDED(acc->get_accRole(self, &r));
    if (text) {
        *name = text;
        SysFreeString(text);
    }
    *role = r.vt == VT_I4 ? r.lVal : 0;
    BSTR v = nullptr;
    if (value && SUCCEEDED(acc->get_accValue(self, &v)) && v) {
        *value = v;
        SysFreeString(v);
    }
    acc->Release();
    return ok;
}

int Fail(const std::wstring& what)
{
    std::fwprintf(stderr, L"driver: %ls\n", what.c_str());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    CoInitialize(nullptr);  // for the accessible objects of another process
    // Unscaled coordinates of the launcher's windows, however large the screen's scale.
    typedef BOOL(WINAPI * SetContext)(HANDLE);
    if (auto set = reinterpret_cast<SetContext>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"))))
        set(reinterpret_cast<HANDLE>(-4));
    // Names and texts are Chinese: UTF-8, or the line ends at the first of them.
    _setmode(_fileno(stdout), _O_U8TEXT);
    _setmode(_fileno(stderr), _O_U8TEXT);
    std::vector<std::wstring> a(argv + 1, argv + argc);
    size_t i = 0;
    auto need = [&](size_t n) { return i + n <= a.size(); };
    while (i < a.size()) {
        const std::wstring step = a[i++];
        if (step == L"wait-window" && need(2)) {
            const std::wstring title = a[i], ms = a[i + 1];
            i += 2;
            if (!WaitFor(_wtoi(ms.c_str()), [&] { return FindTop(title.c_str()) != nullptr; }))
                return Fail(L"no window " + title);
        } else if (step == L"wait-gone" && need(2)) {
            const std::wstring title = a[i], ms = a[i + 1];
            i += 2;
            if (!WaitFor(_wtoi(ms.c_str()), [&] { return FindTop(title.c_str()) == nullptr; }))
                return Fail(L"window stays: " + title);
        } else if (step == L"wait-enabled" && need(3)) {
            const std::wstring title = a[i];
            const int id = _wtoi(a[i + 1].c_str());
            const DWORD ms = _wtoi(a[i + 2].c_str());
            i += 3;
            if (!WaitFor(ms, [&] {
                    HWND c = FindControl(title.c_str(), id);
                    return c && IsWindowEnabled(c) && IsWindowVisible(c);
                }))
                return Fail(L"control not enabled: " + a[i - 2]);
        } else if (step == L"disabled" && need(2)) {
            HWND c = FindControl(a[i].c_str(), _wtoi(a[i + 1].c_str()));
            i += 2;
            if (!c) return Fail(L"no control " + a[i - 1]);
            if (IsWindowEnabled(c)) return Fail(L"control enabled: " + a[i - 1]);
        } else if (step == L"wait-text" && need(4)) {
            const std::wstring title = a[i], want = a[i + 2];
            const int id = _wtoi(a[i + 1].c_str());
            const DWORD ms = _wtoi(a[i + 3].c_str());
            i += 4;
            wchar_t text[2048] = L"";
            if (!WaitFor(ms, [&] {
                    HWND c = FindControl(title.c_str(), id);
                    return c && GetWindowTextW(c, text, 2048) >= 0 && std::wstring(text).find(want) != std::wstring::npos;
                }))
                return Fail(L"no text '" + want + L"' in control " + a[i - 3] + L", it reads '" + text + L"'");
            std::fwprintf(stdout, L"text: %ls\n", text);
        } else if ((step == L"wait-iconic" || step == L"wait-restored") && need(3)) {
            const std::wstring title = a[i];
            const int id = _wtoi(a[i + 1].c_str());
            const DWORD ms = _wtoi(a[i + 2].c_str());
            const bool iconic = step == L"wait-iconic";
            i += 3;
            if (!WaitFor(ms, [&] {
                    Found f = {title.c_str(), nullptr, nullptr, id};
                    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&f));
                    return f.hWnd && (IsIconic(f.hWnd) != FALSE) == iconic;
                }))
                return Fail(L"window not " + step.substr(5) + L": " + title);
        } else if ((step == L"click" || step == L"mouse-click") && need(2)) {
            HWND c = FindControl(a[i].c_str(), _wtoi(a[i + 1].c_str()));
            i += 2;
            if (!c) return Fail(L"no control " + a[i - 1] + L" in " + a[i - 2]);
            if (step == L"click")
                PostMessageW(c, BM_CLICK, 0, 0);
            else
                MouseClick(c);
        } else if (step == L"box" && need(3)) {
            BoxSearch s = {a[i].c_str(), nullptr};
            const int id = ButtonId(a[i + 1]);
            const DWORD ms = _wtoi(a[i + 2].c_str());
            i += 3;
            if (!WaitFor(ms, [&] {
                    s.hWnd = nullptr;
                    EnumWindows(BoxProc, reinterpret_cast<LPARAM>(&s));
                    return s.hWnd != nullptr;
                }))
                return Fail(L"no message box with " + a[i - 3]);
            std::fwprintf(stdout, L"box: %ls\n", BoxText(s.hWnd).c_str());
            HWND button = GetDlgItem(s.hWnd, id);
            if (!button) return Fail(L"the box has no button " + a[i - 2]);
            PostMessageW(button, BM_CLICK, 0, 0);
        } else if (step == L"signal" && need(1)) {
            HANDLE h = CreateFileW(a[i++].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE) return Fail(L"cannot create " + a[i - 1]);
            CloseHandle(h);
        } else if (step == L"await" && need(2)) {
            const std::wstring file = a[i];
            const DWORD ms = _wtoi(a[i + 1].c_str());
            i += 2;
            if (!WaitFor(ms, [&] { return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; }))
                return Fail(L"no file " + file);
        } else if ((step == L"rect" || step == L"rect-holding") && need(1)) {
            // rect-holding ID: the window that holds that control, whatever its title.
            HWND w = step == L"rect" ? FindTop(a[i++].c_str()) : GetParent(FindControl(L"", _wtoi(a[i++].c_str())));
            RECT r = {};
            if (!w || !GetWindowRect(w, &r)) return Fail(L"no window " + a[i - 1]);
            std::fwprintf(stdout, L"%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        } else if (step == L"rect-control" && need(2)) {
            HWND c = FindControl(a[i].c_str(), _wtoi(a[i + 1].c_str()));
            i += 2;
            RECT r = {};
            if (!c || !GetWindowRect(c, &r)) return Fail(L"no control " + a[i - 1]);
            MapWindowPoints(nullptr, GetParent(c), reinterpret_cast<POINT*>(&r), 2);
            std::fwprintf(stdout, L"%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        } else if (step == L"dpi-changed" && need(2)) {
            HWND w = GetAncestor(FindControl(L"", _wtoi(a[i].c_str())), GA_ROOT);
            const int dpi = _wtoi(a[i + 1].c_str());
            i += 2;
            if (!w) return Fail(L"no window holding " + a[i - 2]);
            // No suggested rectangle: a pointer would not cross to the other process.
            SendMessageW(w, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi), 0);
        } else if (step == L"tray-menu" && need(4)) {
            Found f = {a[i].c_str(), nullptr, nullptr, _wtoi(a[i + 1].c_str())};
            const int entry = _wtoi(a[i + 2].c_str());
            const DWORD ms = _wtoi(a[i + 3].c_str());
            i += 4;
            EnumWindows(FindProc, reinterpret_cast<LPARAM>(&f));
            if (!f.hWnd) return Fail(L"no window " + a[i - 4]);
            PostMessageW(f.hWnd, WM_USER + 101, 1, WM_RBUTTONDOWN);  // the launcher's WM_TRAY_NOTIFY
            if (!WaitFor(ms, [&] { return FindTop(nullptr, L"#32768") != nullptr; })) return Fail(L"no menu opened");
            for (int k = 0; k <= entry; ++k) Key(VK_DOWN);
            Key(VK_RETURN);
            if (!WaitFor(ms, [&] { return FindTop(nullptr, L"#32768") == nullptr; })) return Fail(L"the menu stays open");
        } else if (step == L"keys" && need(2)) {
            HWND c = FindControl(a[i].c_str(), _wtoi(a[i + 1].c_str()));
            i += 2;
            if (!c) return Fail(L"no control " + a[i - 1]);
            // Activating the window again would put its focus back where it was.
            if (GetForegroundWindow() != GetAncestor(c, GA_ROOT)) {
                SetForegroundWindow(GetAncestor(c, GA_ROOT));
                Sleep(100);
            }
            for (; i < a.size() && a[i] != L";"; ++i) {
                const std::wstring& k = a[i];
                if (k == L"shift-tab") {
                    INPUT in[4] = {};
                    for (INPUT& x : in) x.type = INPUT_KEYBOARD;
                    in[0].ki.wVk = in[3].ki.wVk = VK_SHIFT;
                    in[1].ki.wVk = in[2].ki.wVk = VK_TAB;
                    in[2].ki.dwFlags = in[3].ki.dwFlags = KEYEVENTF_KEYUP;
                    SendInput(4, in, sizeof(INPUT));
                    Sleep(50);
                } else {
                    const WORD vk = k == L"tab" ? VK_TAB : k == L"enter" ? VK_RETURN : k == L"space" ? VK_SPACE
                                                         : k == L"escape" ? VK_ESCAPE : 0;
                    if (vk == 0) return Fail(L"unknown key " + k);
                    Key(vk);
                }
            }
            if (i < a.size()) ++i;  // the ";"
        } else if (step == L"focus" && need(4)) {
            const std::wstring title = a[i], want = a[i + 2];
            const int id = _wtoi(a[i + 1].c_str());
            const DWORD ms = _wtoi(a[i + 3].c_str());
            i += 4;
            std::wstring name;
            long role = 0;
            if (!WaitFor(ms, [&] {
                    HWND c = FindControl(title.c_str(), id);
                    GUITHREADINFO info = {};
                    info.cbSize = sizeof info;
                    name.clear();
                    return c && GetGUIThreadInfo(GetWindowThreadProcessId(c, nullptr), &info) && info.hwndFocus &&
                           Accessible(info.hwndFocus, &name, &role) && name.find(want) != std::wstring::npos &&
                           role == ROLE_SYSTEM_PUSHBUTTON;
                }))
                return Fail(L"the focus is not on '" + want + L"': it is on '" + name + L"', role " + std::to_wstring(role));
            std::fwprintf(stdout, L"focus: %ls (push button)\n", name.c_str());
        } else if (step == L"accessible" && need(5)) {
            const std::wstring title = a[i], roleName = a[i + 2], want = a[i + 3];
            const int id = _wtoi(a[i + 1].c_str());
            const DWORD ms = _wtoi(a[i + 4].c_str());
            i += 5;
            const long wantRole = roleName == L"progressbar" ? ROLE_SYSTEM_PROGRESSBAR
                                  : roleName == L"statictext" ? ROLE_SYSTEM_STATICTEXT
                                                              : ROLE_SYSTEM_PUSHBUTTON;
            std::wstring seen;
            long role = 0;
            if (!WaitFor(ms, [&] {
                    HWND c = FindControl(title.c_str(), id);
                    std::wstring name, value;
                    if (!c || !Accessible(c, &name, &role, &value)) return false;
                    seen = name + L": " + value;
                    return role == wantRole && seen.find(want) != std::wstring::npos;
                }))
                return Fail(L"control " + std::to_wstring(id) + L" is '" + seen + L"', role " + std::to_wstring(role));
            std::fwprintf(stdout, L"accessible: %ls\n", seen.c_str());
        } else if (step == L"close" && need(1)) {
            HWND w = FindTop(a[i++].c_str());
            if (!w) return Fail(L"no window " + a[i - 1]);
            PostMessageW(w, WM_CLOSE, 0, 0);
        } else if (step == L"unregister") {
            RegDeleteTreeW(HKEY_CURRENT_USER, L"BRQ_PATCH_FILE");
        } else {
            return Fail(L"unknown step or missing argument: " + step);
        }
        std::fflush(stdout);
    }
    return 0;
}
