// The player of the launcher's whole runs: finds windows, controls and
// message boxes of other processes through the Win32 API and clicks them.
// Its arguments are steps, run in order; the first that fails ends it with
// exit code 1 and a line on stderr.
//
//   wait-window TITLE MS        a visible top-level window whose title holds TITLE
//   wait-enabled TITLE ID MS    control ID of that window can be clicked
//   wait-iconic TITLE ID MS     the window holding control ID is minimised
//   wait-restored TITLE ID MS   ... is shown and not minimised
//   disabled TITLE ID           control ID of that window takes no click now
//   wait-text TITLE ID TEXT MS  control ID's text holds TEXT; prints it
//   click TITLE ID              BM_CLICK on control ID
//   mouse-click TITLE ID        the real mouse moved onto the control and clicked
//   box TEXT BUTTON MS          a message box whose text holds TEXT, answered
//                               with BUTTON (ok, cancel, retry, yes, no)
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
//   hold FILE MS                FILE held open for MS ms as another program
//                               holds one: read, shared for reading only
//   unregister                  removes the launcher's file-type key, which
//                               would send the next launcher to the
//                               installation that wrote it
#include <windows.h>
#include <oleacc.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

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

struct Found {
    const wchar_t* title;  // the title holds it (null: any title)
    const wchar_t* cls;    // the window class (null: any)
    int control;           // the window holds this control (0: any window)
    const wchar_t* box;    // a message box whose text holds it (null: any window)
    HWND hWnd;
};

BOOL CALLBACK FindProc(HWND hWnd, LPARAM lParam)
{
    auto* f = reinterpret_cast<Found*>(lParam);
    wchar_t text[512] = L"", cls[64] = L"";
    GetWindowTextW(hWnd, text, 512);
    GetClassNameW(hWnd, cls, 64);
    if (!IsWindowVisible(hWnd) || (f->cls && wcscmp(cls, f->cls) != 0) || (f->title && !wcsstr(text, f->title)) ||
        (f->control && !GetDlgItem(hWnd, f->control)))
        return TRUE;
    if (f->box) {
        // A message box has its text in static controls and answer buttons; the
        // launcher's own dialogs have no such buttons (its main window has a
        // static: the status line for screen readers).
        bool answers = false;
        for (int id : {IDOK, IDCANCEL, IDRETRY, IDYES, IDNO}) answers = answers || GetDlgItem(hWnd, id) != nullptr;
        const std::wstring all = BoxText(hWnd);
        if (!answers || all.empty() || all.find(f->box) == std::wstring::npos) return TRUE;
    }
    f->hWnd = hWnd;
    return FALSE;
}

HWND FindTop(const wchar_t* title, const wchar_t* cls = nullptr, int control = 0, const wchar_t* box = nullptr)
{
    Found f = {title, cls, control, box, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&f));
    return f.hWnd;
}

// The control of a window with that title (a launcher has two).
HWND FindControl(const wchar_t* title, int id)
{
    HWND w = FindTop(title, nullptr, id);
    return w ? GetDlgItem(w, id) : nullptr;
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

void MouseClick(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    SetCursorPos(x, y);
    INPUT in[3] = {};
    for (INPUT& i : in) i.type = INPUT_MOUSE;
    in[0].mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    in[0].mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &in[0], sizeof(INPUT));
    Sleep(150);  // hover tracking sees the mouse arrive
    SendInput(2, &in[1], sizeof(INPUT));
}

// A key pressed and let go, with Shift held around it when shift.
void Key(WORD vk, bool shift = false)
{
    INPUT in[4] = {};
    const WORD order[4] = {VK_SHIFT, vk, vk, VK_SHIFT};
    for (int k = 0; k < 4; ++k) {
        in[k].type = INPUT_KEYBOARD;
        in[k].ki.wVk = order[k];
        in[k].ki.dwFlags = k >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(shift ? 4 : 2, shift ? in : in + 1, sizeof(INPUT));
    Sleep(50);  // the menu's loop takes each key before the next
}

// The accessible name and role of a control, as a screen reader reads them.
bool Accessible(HWND control, std::wstring* name, long* role, std::wstring* value = nullptr)
{
    IAccessible* acc = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&acc))))
        return false;
    VARIANT self = {}, r = {};  // VT_EMPTY, as VariantInit leaves them
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr, v = nullptr;
    const bool ok = SUCCEEDED(acc->get_accName(self, &text)) && SUCCEEDED(acc->get_accRole(self, &r));
    if (text) *name = text;
    *role = r.vt == VT_I4 ? r.lVal : 0;
    if (value && SUCCEEDED(acc->get_accValue(self, &v)) && v) *value = v;
    SysFreeString(text);  // null is allowed
    SysFreeString(v);
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
    static const std::map<std::wstring, size_t> kArguments = {
        {L"wait-window", 2}, {L"wait-enabled", 3}, {L"wait-iconic", 3}, {L"wait-restored", 3}, {L"disabled", 2},
        {L"wait-text", 4},   {L"click", 2},        {L"mouse-click", 2}, {L"box", 3},           {L"rect", 1},
        {L"rect-holding", 1}, {L"rect-control", 2}, {L"dpi-changed", 2}, {L"tray-menu", 4},   {L"keys", 2},
        {L"focus", 4},       {L"accessible", 5},   {L"unregister", 0},      {L"hold", 2}};
    static const std::map<std::wstring, std::pair<WORD, bool>> kKeys = {
        {L"tab", {VK_TAB, false}},        {L"shift-tab", {VK_TAB, true}},     {L"enter", {VK_RETURN, false}},
        {L"space", {VK_SPACE, false}},    {L"escape", {VK_ESCAPE, false}}};
    static const std::map<std::wstring, int> kButtons = {
        {L"ok", IDOK}, {L"cancel", IDCANCEL}, {L"retry", IDRETRY}, {L"yes", IDYES}, {L"no", IDNO}};
    const std::vector<std::wstring> a(argv + 1, argv + argc);
    for (size_t i = 0; i < a.size();) {
        const std::wstring step = a[i++];
        const auto arguments = kArguments.find(step);
        if (arguments == kArguments.end() || i + arguments->second > a.size())
            return Fail(L"unknown step or missing argument: " + step);
        const std::vector<std::wstring> v(a.begin() + i, a.begin() + i + arguments->second);
        i += arguments->second;
        auto n = [&](size_t k) { return _wtoi(v[k].c_str()); };
        auto ms = [&] { return static_cast<DWORD>(n(v.size() - 1)); };  // the time-out is the last argument
        const wchar_t* title = v.empty() ? nullptr : v[0].c_str();
        if (step == L"wait-window") {
            if (!WaitFor(ms(), [&] { return FindTop(title) != nullptr; })) return Fail(L"no window " + v[0]);
        } else if (step == L"wait-enabled") {
            if (!WaitFor(ms(), [&] {
                    HWND c = FindControl(title, n(1));
                    return c && IsWindowEnabled(c) && IsWindowVisible(c);
                }))
                return Fail(L"control not enabled: " + v[1]);
        } else if (step == L"disabled") {
            HWND c = FindControl(title, n(1));
            if (!c || IsWindowEnabled(c)) return Fail((c ? L"control enabled: " : L"no control ") + v[1]);
        } else if (step == L"wait-text") {
            wchar_t text[2048] = L"";
            if (!WaitFor(ms(), [&] {
                    HWND c = FindControl(title, n(1));
                    return c && GetWindowTextW(c, text, 2048) >= 0 && wcsstr(text, v[2].c_str());
                }))
                return Fail(L"no text '" + v[2] + L"' in control " + v[1] + L", it reads '" + text + L"'");
            std::fwprintf(stdout, L"text: %ls\n", text);
        } else if (step == L"wait-iconic" || step == L"wait-restored") {
            const bool iconic = step == L"wait-iconic";
            if (!WaitFor(ms(), [&] {
                    HWND w = FindTop(title, nullptr, n(1));
                    return w && (IsIconic(w) != FALSE) == iconic;
                }))
                return Fail(L"window not " + step.substr(5) + L": " + v[0]);
        } else if (step == L"click" || step == L"mouse-click") {
            HWND c = FindControl(title, n(1));
            if (!c) return Fail(L"no control " + v[1] + L" in " + v[0]);
            if (step == L"click")
                PostMessageW(c, BM_CLICK, 0, 0);
            else
                MouseClick(c);
        } else if (step == L"box") {
            HWND box = nullptr;
            if (!WaitFor(ms(), [&] { return (box = FindTop(nullptr, L"#32770", 0, title)) != nullptr; }))
                return Fail(L"no message box with " + v[0]);
            std::fwprintf(stdout, L"box: %ls\n", BoxText(box).c_str());
            HWND button = GetDlgItem(box, kButtons.count(v[1]) ? kButtons.at(v[1]) : n(1));
            if (!button) return Fail(L"the box has no button " + v[1]);
            PostMessageW(button, BM_CLICK, 0, 0);
        } else if (step == L"rect" || step == L"rect-holding" || step == L"rect-control") {
            // rect-holding ID: the window that holds that control, whatever its title.
            HWND w = step == L"rect"           ? FindTop(title)
                     : step == L"rect-holding" ? FindTop(nullptr, nullptr, n(0))
                                               : FindControl(title, n(1));
            RECT r = {};
            if (!w || !GetWindowRect(w, &r)) return Fail(L"no window or control " + v.back());
            if (step == L"rect-control") MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
            std::fwprintf(stdout, L"%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        } else if (step == L"hold") {
            HANDLE held = CreateFileW(v[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            if (held == INVALID_HANDLE_VALUE) return Fail(L"cannot open " + v[0]);
            Sleep(ms());  // the other program's time, not a wait for a state
            CloseHandle(held);
        } else if (step == L"dpi-changed") {
            HWND w = FindTop(nullptr, nullptr, n(0));
            if (!w) return Fail(L"no window holding " + v[0]);
            // No suggested rectangle: a pointer would not cross to the other process.
            SendMessageW(w, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(n(1), n(1)), 0);
        } else if (step == L"tray-menu") {
            HWND w = FindTop(title, nullptr, n(1));
            if (!w) return Fail(L"no window " + v[0]);
            PostMessageW(w, WM_USER + 101, 1, WM_RBUTTONDOWN);  // the launcher's WM_TRAY_NOTIFY
            if (!WaitFor(ms(), [] { return FindTop(nullptr, L"#32768") != nullptr; })) return Fail(L"no menu opened");
            for (int k = 0; k <= n(2); ++k) Key(VK_DOWN);
            Key(VK_RETURN);
            if (!WaitFor(ms(), [] { return FindTop(nullptr, L"#32768") == nullptr; })) return Fail(L"the menu stays open");
        } else if (step == L"keys") {
            HWND c = FindControl(title, n(1));
            if (!c) return Fail(L"no control " + v[1]);
            // Activating the window again would put its focus back where it was.
            if (GetForegroundWindow() != GetAncestor(c, GA_ROOT)) {
                SetForegroundWindow(GetAncestor(c, GA_ROOT));
                Sleep(100);
            }
            for (; i < a.size() && a[i] != L";"; ++i) {
                const auto key = kKeys.find(a[i]);
                if (key == kKeys.end()) return Fail(L"unknown key " + a[i]);
                Key(key->second.first, key->second.second);
            }
            if (i < a.size()) ++i;  // the ";"
        } else if (step == L"focus" || step == L"accessible") {
            // focus: the control with the keyboard focus in the window holding ID, a push button.
            const bool focus = step == L"focus";
            const std::wstring& want = v[focus ? 2 : 3];
            const long wantRole = !focus && v[2] == L"progressbar"  ? ROLE_SYSTEM_PROGRESSBAR
                                  : !focus && v[2] == L"statictext" ? ROLE_SYSTEM_STATICTEXT
                                                                    : ROLE_SYSTEM_PUSHBUTTON;
            std::wstring seen;
            long role = 0;
            if (!WaitFor(ms(), [&] {
                    HWND c = FindControl(title, n(1));
                    GUITHREADINFO info = {};
                    info.cbSize = sizeof info;
                    if (c && focus) c = GetGUIThreadInfo(GetWindowThreadProcessId(c, nullptr), &info) ? info.hwndFocus : nullptr;
                    std::wstring name, value;
                    if (!c || !Accessible(c, &name, &role, &value)) return false;
                    seen = focus ? name : name + L": " + value;
                    return role == wantRole && seen.find(want) != std::wstring::npos;
                }))
                return Fail(std::wstring(focus ? L"the focus is on '" : L"control " + v[1] + L" is '") + seen +
                            L"', not '" + want + L"', role " + std::to_wstring(role));
            std::fwprintf(stdout, focus ? L"focus: %ls (push button)\n" : L"accessible: %ls\n", seen.c_str());
        } else {  // unregister
            RegDeleteTreeW(HKEY_CURRENT_USER, L"BRQ_PATCH_FILE");
        }
        std::fflush(stdout);
    }
    return 0;
}
