#include "PatchDlg.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <string>

#include "LinkServer.h"
#include "PatchApp.h"
#include "base/utility/StrConv.h"
#include "base/utility/WinHandle.h"
#include "base/utility/StringTable.h"
#include "ui/Application.h"
#include "ui/BgDialog.h"
#include "ui/BitmapRegion.h"
#include "ui/ResourceIds.h"
#include "ui/SilentControl.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

using Base::Utility::AnsiToWide;

CPatchDlg* g_pPatchDlg = nullptr;

const int g_nButtonIds[CPatchDlg::BUTTON_COUNT] = {IDC_START, IDC_CLOSE, IDC_MINIMIZE, IDC_LINK3,
                                                   IDC_SETTINGS, IDC_LINK5, IDC_LINK6, IDC_LINK7,
                                                   IDC_LINK8, IDC_LINK9, IDC_LINK10};

namespace {

// The part of a bar the skin shows filled, for its silent progress control.
WPARAM Permille(int filled, int width) { return width > 0 ? static_cast<WPARAM>(1000LL * filled / width) : 0; }

// Held by an engine thread while a callback uses the window, and by the
// window while it detaches itself: a callback never meets a window being
// destroyed.
std::mutex g_callbackLock;

// Set by whoever changes a value, cleared by the timer that repaints it.
std::atomic<bool> g_bRepaintBar1{false}, g_bRepaintBar2{false}, g_bRepaintStatus{false};

const COLORREF kButtonKey = RGB(250, 0, 250);
const COLORREF kStartKey = RGB(255, 0, 255);

// The benchmark of start-up names a file in TIDEWELL_FIRST_PAINT; the time
// of the first full paint (100 ns units since 1601) goes there.
void RecordFirstPaint()
{
    static bool done = false;
    if (done) return;
    done = true;
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"TIDEWELL_FIRST_PAINT", path, MAX_PATH)) return;
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const std::string text =
        std::to_string((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    Base::Utility::CFileHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (file) WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
const COLORREF kWindowKey = RGB(255, 0, 255);
const size_t kStatusMax = 75, kStatusCut = 70;

HFONT MakeFont(int height, const std::wstring& face)
{
    return CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS,
                       CLIP_STROKE_PRECIS, DRAFT_QUALITY, 0x31, face.c_str());
}

int FilledWidth(float fraction, int imageWidth)
{
    if (fraction <= 0.0001f || imageWidth <= 0) return 0;
    return std::min(imageWidth, static_cast<int>(imageWidth * fraction));
}

}  // namespace

CPatchDlg::CPatchDlg(CPatchApp& app) : CDialogBase(IDD), m_app(app) { g_pPatchDlg = this; }

CPatchDlg::~CPatchDlg()
{
    {
        // Detached first, once no engine thread is inside a callback.
        std::lock_guard<std::mutex> hold(g_callbackLock);
        if (g_pPatchDlg == this) g_pPatchDlg = nullptr;
    }
    RemoveTrayIcon();
}

// ---- engine callbacks (engine threads) ----

void CPatchDlg::OnStatusText(const wchar_t* pText)
{
    std::lock_guard<std::mutex> hold(g_callbackLock);
    if (g_pPatchDlg && pText) g_pPatchDlg->SetStatus(pText);
}

void CPatchDlg::OnSingleProgress(float fraction)
{
    std::lock_guard<std::mutex> hold(g_callbackLock);
    CPatchDlg* self = g_pPatchDlg;
    if (self == nullptr) return;
    self->m_fSingle = fraction;
    const int filled = FilledWidth(fraction, self->m_Bar1.Width());
    // An emptied bar is drawn again too: a new step starts from zero.
    if (self->m_nFilled1.exchange(filled) != filled && self->m_hWnd) {
        const RECT r = self->Bar1Rect();
        InvalidateRect(self->m_hWnd, &r, FALSE);
        g_bRepaintBar1 = true;
    }
}

void CPatchDlg::OnTotalProgress(float fraction)
{
    std::lock_guard<std::mutex> hold(g_callbackLock);
    CPatchDlg* self = g_pPatchDlg;
    if (self == nullptr) return;
    self->m_fTotal = fraction;
    const int filled = FilledWidth(fraction, self->m_Bar2.Width());
    if (self->m_nFilled2.exchange(filled) != filled) g_bRepaintBar2 = true;
}

void CPatchDlg::SetStatus(const std::wstring& text)
{
    std::wstring shown = text.size() > kStatusMax ? text.substr(0, kStatusCut) + L" ..." : text;
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        m_strStatusText.swap(shown);
    }
    g_bRepaintStatus = true;
}

std::wstring CPatchDlg::StatusText() const
{
    std::lock_guard<std::mutex> lock(m_statusLock);
    return m_strStatusText;
}

void CPatchDlg::SetStatusTag(const wchar_t* pTag) { SetStatus(LocalText(pTag)); }

// ---- window operations ----

void CPatchDlg::SetButtonsBusy(bool busy)
{
    m_bBusy = busy;
    if (busy) {
        m_Buttons[0].SetState(UI::CKbcButton::STATE_DISABLED);
        m_Buttons[4].SetState(UI::CKbcButton::STATE_DISABLED);
    } else {
        for (int i : {3, 4, 0, 1}) m_Buttons[i].SetState(UI::CKbcButton::STATE_NORMAL);
    }
}

void CPatchDlg::SetCurrentVersion(const std::string& v)
{
    m_strCurVersionText = v;
    m_strCurVersionLabel = std::wstring(LocalText(L"CUR_VERSION")) + (v.empty() ? LocalText(L"UNKNOWN") : AnsiToWide(v));
    if (m_hWnd) {
        const RECT r = VersionRect();
        InvalidateRect(m_hWnd, &r, FALSE);
    }
}

void CPatchDlg::SetLatestVersion(const std::string& v)
{
    m_strLatestVersionLabel =
        std::wstring(LocalText(L"LATEST_VERSION")) + (v.empty() ? LocalText(L"UNKNOWN") : AnsiToWide(v));
    if (m_hWnd) {
        const RECT r = VersionRect();
        InvalidateRect(m_hWnd, &r, FALSE);
    }
}

RECT CPatchDlg::Bar1Rect() const
{
    const int x = Px(m_ProgressBar1.m_nX), y = Px(m_ProgressBar1.m_nY);
    return RECT{x, y, x + m_Bar1.Width(), y + m_Bar1.Height()};
}

RECT CPatchDlg::Bar2Rect() const
{
    const int x = Px(m_ProgressBar2.m_nX), y = Px(m_ProgressBar2.m_nY);
    return RECT{x, y, x + m_Bar2.Width(), y + m_Bar2.Height()};
}

RECT CPatchDlg::StatusRect() const
{
    const int x = Px(m_InformationFont.m_nX), y = Px(m_InformationFont.m_nY);
    return RECT{x, y, x + m_Bar2.Width() - Px(95), y + Px(m_InformationFont.m_nSize[0])};
}

RECT CPatchDlg::VersionRect() const
{
    RECT client = {0, 0, 0, 0};
    if (m_hWnd) GetClientRect(m_hWnd, &client);
    // Two labels 15 pixels apart; their width is the window's.
    const int y = Px(m_VersionFont.m_nY);
    return RECT{Px(m_VersionFont.m_nX), y, client.right, y + Px(15 + m_VersionFont.m_nSize[0] + 2)};
}

void CPatchDlg::ParseCmdLineFields()
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    const std::string& tail = m_strCmdLineTail;
    while (start <= tail.size()) {
        size_t bar = tail.find('|', start);
        if (bar == std::string::npos) bar = tail.size();
        const std::string token = tail.substr(start, bar - start);
        const size_t first = token.find('%');
        const size_t second = first == std::string::npos ? first : token.find('%', first + 1);
        if (second != std::string::npos) fields.push_back(AnsiToWide(token.substr(first + 1, second - first - 1)));
        start = bar + 1;
    }
    if (fields.size() > 0) m_strLoginField1 = fields[0];
    if (fields.size() > 1) m_strLoginField2 = fields[1];
}

// ---- initialisation ----

void CPatchDlg::SetUpWindow()
{
    m_hIcon.Reset(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_LAUNCHER), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    if (m_hIcon) SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon.Get()));
    if (UI::g_pBgDialog && UI::g_pBgDialog->GetSafeHwnd())
        SetWindowTextW(UI::g_pBgDialog->GetSafeHwnd(), m_strWindowCaption.c_str());
    SetWindowTextW(m_hWnd, m_strWindowCaption.c_str());

    for (int i = 0; i < BUTTON_COUNT; ++i) m_Buttons[i].Attach(m_hWnd, g_nButtonIds[i]);
    const size_t shown = std::min<size_t>(m_vecButton.size(), BUTTON_COUNT);
    for (size_t i = 0; i < shown; ++i) ShowWindow(m_Buttons[i].GetSafeHwnd(), SW_HIDE);
    for (size_t i = 0; i < shown; ++i) {
        if (m_vecButton[i].m_strFilePath.empty()) continue;
        m_Buttons[i].SetTooltipText(m_vecButton[i].m_strTip);
        ShowWindow(m_Buttons[i].GetSafeHwnd(), SW_SHOW);
    }
    // What the skin paints, told to screen readers by controls that draw nothing.
    UI::CreateSilentProgress(m_hWnd, IDC_PROGRESS_FILE, RECT{}, LocalText(L"PROGRESS_FILE"));
    UI::CreateSilentProgress(m_hWnd, IDC_PROGRESS_TOTAL, RECT{}, LocalText(L"PROGRESS_TOTAL"));
    if (HWND status = ::GetDlgItem(m_hWnd, IDC_STATUS_TEXT)) UI::MakeSilent(status);
    ShowWindow(m_hWnd, SW_HIDE);
    ApplyScale(UI::WindowDpi(m_hWnd));
}

void CPatchDlg::ApplyScale(int dpi)
{
    m_nDpi = UI::ClampDpi(dpi);
    const std::wstring& bitmapPath = m_strWindowBmpPath;
    // The region follows the skin's own bitmap: a larger variant has its shape.
    UI::CGdiBitmap bitmap(static_cast<HBITMAP>(
        LoadImageW(nullptr, bitmapPath.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    UI::CGdiRegion region(bitmap ? UI::BitmapToRegion(bitmap.Get(), kWindowKey, m_nDpi, UI::BASE_DPI) : nullptr);
    m_bHasRegion = static_cast<bool>(region);
    if (!bitmapPath.empty()) m_Background.LoadPicture(bitmapPath, m_nDpi);
    if (!m_ProgressBar1.m_strFilePath.empty()) m_Bar1.LoadDib(m_ProgressBar1.m_strFilePath, m_nDpi);
    if (!m_ProgressBar2.m_strFilePath.empty()) m_Bar2.LoadDib(m_ProgressBar2.m_strFilePath, m_nDpi);

    SetWindowPos(m_hWnd, nullptr, 0, 0, m_Background.Width(), m_Background.Height(),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The window owns the region from here on.
    if (region) SetWindowRgn(m_hWnd, region.Release(), FALSE);

    const size_t shown = std::min<size_t>(m_vecButton.size(), BUTTON_COUNT);
    for (size_t i = 0; i < shown; ++i) {
        const SSkinButton& record = m_vecButton[i];
        if (record.m_strFilePath.empty()) continue;
        // The start button shows what RefreshStartButton chose last, with its key.
        const bool chosen = i == 0 && !m_strStartImage.empty();
        m_Buttons[i].LoadImage(chosen ? m_strStartImage : record.m_strFilePath, chosen ? kStartKey : kButtonKey, m_nDpi);
        const RECT r = UI::PxRect(record.m_nX, record.m_nY, record.m_nWidth, record.m_nHeight, m_nDpi);
        MoveWindow(m_Buttons[i].GetSafeHwnd(), r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
    const std::pair<int, RECT> places[] = {
        {IDC_PROGRESS_FILE, Bar1Rect()}, {IDC_PROGRESS_TOTAL, Bar2Rect()}, {IDC_STATUS_TEXT, StatusRect()}};
    for (const auto& place : places)
        if (HWND control = ::GetDlgItem(m_hWnd, place.first))
            SetWindowPos(control, nullptr, place.second.left, place.second.top, place.second.right - place.second.left,
                         place.second.bottom - place.second.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    const SSkinBrowser* pages[2] = {&m_Browser0, &m_Browser1};
    for (int i = 0; i < 2; ++i)
        if (HWND page = m_Browser[i].WrapperWindow()) {
            const RECT r = UI::PxRect(pages[i]->m_nX, pages[i]->m_nY, pages[i]->m_nWidth, pages[i]->m_nHeight, m_nDpi);
            MoveWindow(page, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        }

    m_hVersionFont.Reset(m_VersionFont.m_strStyle.empty() ? nullptr : MakeFont(Px(m_VersionFont.m_nSize[0]), m_VersionFont.m_strStyle));
    m_hInformationFont.Reset(m_InformationFont.m_strStyle.empty() ? nullptr : MakeFont(Px(m_InformationFont.m_nSize[0]), m_InformationFont.m_strStyle));
    m_nFilled1 = FilledWidth(m_fSingle, m_Bar1.Width());
    m_nFilled2 = FilledWidth(m_fTotal, m_Bar2.Width());
    if (UI::g_pBgDialog) UI::g_pBgDialog->ApplyDpi(m_nDpi);
    // The skin first, then the buttons on it, whose key shows what lies below.
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

BOOL CPatchDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    m_PlayerDialogs.ChooseLineIfNone(m_hWnd, *this);
    SetUpWindow();
    // Bulletin pages, each only when the skin names one.
    const SSkinBrowser* pages[2] = {&m_Browser0, &m_Browser1};
    for (int i = 0; i < 2; ++i)
        if (!pages[i]->m_strUrl.empty()) {
            const RECT r = UI::PxRect(pages[i]->m_nX, pages[i]->m_nY, pages[i]->m_nWidth, pages[i]->m_nHeight, m_nDpi);
            m_Browser[i].Create(AnsiToWide(pages[i]->m_strUrl), r.left, r.top, r.right - r.left, r.bottom - r.top,
                                m_hWnd, 101);
        }
    m_Buttons[0].SetState(UI::CKbcButton::STATE_DISABLED);

    const bool engineReady = InitializeEngine();

    const std::wstring tail = UI::CApplication::CommandLineTail();
    const int size = WideCharToMultiByte(CP_OEMCP, 0, tail.c_str(), static_cast<int>(tail.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string oem(static_cast<size_t>(std::max(size, 0)) + 1, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_OEMCP, 0, tail.c_str(), static_cast<int>(tail.size()), &oem[0], size, nullptr,
                            nullptr);
    m_strCmdLineTail = oem.c_str();
    ParseCmdLineFields();

    m_bReady = true;
    ReconnectLinkServer();
    // An engine that cannot start says why, and the start button tries again.
    SendMessageW(m_hWnd, engineReady || g_pUpdateEngine == nullptr ? WM_CHECK_INSTALL : WM_RUN_FAILED, 0, 0);
    SetTimer(m_hWnd, TIMER_BAR1, 100, nullptr);
    SetTimer(m_hWnd, TIMER_BAR2_STATUS, 100, nullptr);
    return TRUE;
}

// ---- painting and timers ----

void CPatchDlg::OnPaint()
{
    UI::CPaintDc paint(m_hWnd);
    if (!m_bReady || m_bMinimized) return;
    HDC hDC = paint.Get();
    RECT client;
    GetClientRect(m_hWnd, &client);
    m_Background.Draw(hDC, 0, 0, 0, 0, client.right, client.bottom);
    const int filled1 = m_nFilled1, filled2 = m_nFilled2;
    const RECT bar1 = Bar1Rect(), bar2 = Bar2Rect();
    if (filled1 > 0) m_Bar1.Draw(hDC, bar1.left, bar1.top, 0, 0, filled1, m_Bar1.Height());
    if (filled2 > 0) m_Bar2.Draw(hDC, bar2.left, bar2.top, 0, 0, filled2, m_Bar2.Height());

    SetBkMode(hDC, TRANSPARENT);
    {
        UI::CSelection font(hDC, m_hVersionFont.Get());
        SetTextColor(hDC, RGB(m_VersionFont.m_nRed, m_VersionFont.m_nGreen, m_VersionFont.m_nBlue));
        const int x = Px(m_VersionFont.m_nX), y = Px(m_VersionFont.m_nY);
        TextOutW(hDC, x, y, m_strCurVersionLabel.c_str(), static_cast<int>(m_strCurVersionLabel.size()));
        TextOutW(hDC, x, y + Px(15), m_strLatestVersionLabel.c_str(), static_cast<int>(m_strLatestVersionLabel.size()));
    }
    UI::CSelection font(hDC, m_hInformationFont.Get());
    SetTextColor(hDC, RGB(m_InformationFont.m_nRed, m_InformationFont.m_nGreen, m_InformationFont.m_nBlue));
    const std::wstring status = StatusText();
    DrawStatusLine(hDC, Px(m_InformationFont.m_nX), Px(m_InformationFont.m_nY), status, Px(24));
    RecordFirstPaint();
}

void CPatchDlg::DrawStatusLine(HDC hDC, int x, int y, const std::wstring& text, int tabStop)
{
    // Narrow stops: the download line with its two tabs must still end inside
    // the status rectangle that the timer repaints.
    TabbedTextOutW(hDC, x, y, text.c_str(), static_cast<int>(text.size()), 1, &tabStop, x);
}

void CPatchDlg::OnTimer(UINT_PTR id)
{
    if (id == TIMER_BAR1) {
        if (g_bRepaintBar1.exchange(false)) {
            const RECT r = Bar1Rect();
            InvalidateRect(m_hWnd, &r, FALSE);
            SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_FILE, PBM_SETPOS, Permille(m_nFilled1, m_Bar1.Width()), 0);
        }
    } else if (id == TIMER_BAR2_STATUS) {
        if (g_bRepaintBar2.exchange(false)) {
            const RECT r = Bar2Rect();
            InvalidateRect(m_hWnd, &r, FALSE);
            SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_TOTAL, PBM_SETPOS, Permille(m_nFilled2, m_Bar2.Width()), 0);
        }
        if (g_bRepaintStatus.exchange(false)) {
            const RECT r = StatusRect();
            InvalidateRect(m_hWnd, &r, FALSE);
            SetDlgItemTextW(m_hWnd, IDC_STATUS_TEXT, StatusText().c_str());
        }
    }
}

// ---- commands ----

bool CPatchDlg::OnCommand(UINT id, UINT code)
{
    switch (id) {
    case IDC_START:
        return OnStart();
    case IDC_CLOSE:
        ExitLauncher();
        return true;
    case IDC_MINIMIZE:
        return OnMinimize();
    case IDC_LINK3:
        return OnOpenButtonUrl(3);
    case IDC_SETTINGS: {
        const INT_PTR chosen = m_PlayerDialogs.OpenSettings(m_hWnd);
        // The skin first, then the buttons on it: their transparent corners
        // would otherwise keep what the dialog left there.
        RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        if (chosen == ID_REPAIR) StartRepair();
        return true;
    }
    case ID_REPAIR:
        StartRepair();
        return true;
    case IDC_LINK5:
        return OnOpenButtonUrl(5);
    case IDC_LINK6:
        return OnOpenButtonUrl(6);
    case IDC_LINK7:
        return OnOpenButtonUrl(7);
    case IDC_LINK8:
        return OnOpenButtonUrl(8);
    case IDC_LINK9:
        return OnOpenButtonUrl(9);
    case IDC_LINK10:
        return OnOpenButtonUrl(10);
    case ID_RESTORE_WINDOW:
        RestoreWindow();
        return true;
    case ID_EXIT_LAUNCHER:
        ExitLauncher();
        return true;
    case IDCANCEL:
    case IDOK:
        return true;  // Escape and Enter do not close the main window
    default:
        return CDialogBase::OnCommand(id, code);
    }
}

bool CPatchDlg::OnStart()
{
    if (m_bRetry) {
        Retry();
        return true;
    }
    SendMessageW(m_hWnd, m_bCanStartGame ? WM_START_GAME : WM_START_UPDATE, 0, 0);
    return true;
}

bool CPatchDlg::OnMinimize()
{
    m_bMinimized = true;
    AddTrayIcon();
    ShowWindow(m_hWnd, SW_MINIMIZE);
    if (UI::g_pBgDialog && UI::g_pBgDialog->GetSafeHwnd()) ShowWindow(UI::g_pBgDialog->GetSafeHwnd(), SW_MINIMIZE);
    return true;
}

bool CPatchDlg::OnOpenButtonUrl(size_t record)
{
    if (record < m_vecButton.size())
        ShellExecuteA(nullptr, "open", m_vecButton[record].m_strUrl.c_str(), nullptr, nullptr, SW_HIDE);
    return true;
}

// ---- notification area ----

void CPatchDlg::AddTrayIcon()
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = m_hWnd;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = m_hIcon.Get();
    lstrcpynW(data.szTip, m_strWindowCaption.c_str(), ARRAYSIZE(data.szTip));
    m_bTrayIcon = Shell_NotifyIconW(m_bTrayIcon ? NIM_MODIFY : NIM_ADD, &data) != FALSE || m_bTrayIcon;
}

void CPatchDlg::RemoveTrayIcon()
{
    if (m_hWnd == nullptr) return;
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = m_hWnd;
    data.uID = 1;
    Shell_NotifyIconW(NIM_DELETE, &data);  // fails harmlessly when there is none
    m_bTrayIcon = false;
}

void CPatchDlg::RestoreWindow()
{
    RemoveTrayIcon();
    if (UI::g_pBgDialog && UI::g_pBgDialog->GetSafeHwnd()) ShowWindow(UI::g_pBgDialog->GetSafeHwnd(), SW_RESTORE);
    ShowWindow(m_hWnd, SW_RESTORE);
    ShowWindow(m_hWnd, SW_SHOWNORMAL);
    SetForegroundWindow(m_hWnd);
    m_bMinimized = false;
}

void CPatchDlg::ShowTrayMenu()
{
    UI::CMenuHandle menu(CreatePopupMenu());
    if (!menu) return;
    AppendMenuW(menu.Get(), MF_STRING, ID_RESTORE_WINDOW, LocalText(L"RESTORE_WINDOW"));
    // A run under way holds the files: a repair waits for it to end.
    AppendMenuW(menu.Get(), MF_STRING | (RepairPossible() ? 0 : MF_GRAYED), ID_REPAIR, LocalText(L"REPAIR_MENU"));
    AppendMenuW(menu.Get(), MF_STRING, ID_EXIT_LAUNCHER, LocalText(L"EXIT_LAUNCHER"));
    POINT p;
    GetCursorPos(&p);
    SetForegroundWindow(m_hWnd);
    TrackPopupMenu(menu.Get(), TPM_RIGHTBUTTON, p.x, p.y, 0, m_hWnd, nullptr);
}

// ---- the window procedure ----

INT_PTR CPatchDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_Drag.Handle(m_hWnd, UI::g_pBgDialog ? UI::g_pBgDialog->GetSafeHwnd() : nullptr, message, lParam)) return TRUE;
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return TRUE;
    case WM_ERASEBKGND:
        return SetResult(TRUE);  // the background picture covers the client area
    case WM_DPICHANGED: {
        // Moved to a monitor of another scale: the skin is drawn again at it,
        // where the system suggests.
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ApplyScale(HIWORD(wParam));
        if (suggested)
            SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return SetResult(0);
    }
    case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
    case WM_ACTIVATEAPP:
        m_bMinimized = false;
        break;
    case WM_TRAY_NOTIFY:
        if (lParam == WM_LBUTTONDBLCLK) {
            RestoreWindow();
            RefreshStartButton(m_nBigArea);
        } else if (lParam == WM_RBUTTONDOWN) {
            ShowTrayMenu();
        }
        break;
    default:
        if (message == g_msgRestoreWindow) {
            if (m_bReady) RestoreWindow();
            break;
        }
        OnWorkflowMessage(message, wParam, lParam);
        break;
    }
    return CDialogBase::WindowProc(message, wParam, lParam);
}
