#include "LineSelectDlg.h"

#include <cstdio>

#include <tinyxml.h>

#include "BitmapRegion.h"
#include "ResourceIds.h"
#include "base/utility/XmlText.h"

namespace UI {

namespace {

const int kButtonIds[LineSelectDlg::BTN_COUNT] = {IDC_TELECOM, IDC_UNICOM, IDC_OK, IDC_Button_Close};

void ReadButton(const TiXmlElement* e, const std::wstring& skinDir, SLineButtonSkin& skin)
{
    skin.m_strPath = skinDir + XmlAttributeW(e, "Path");
    if (const char* rect = e->Attribute("rect"))
        std::sscanf(rect, "%d, %d, %d, %d", &skin.m_nRect[0], &skin.m_nRect[1], &skin.m_nRect[2], &skin.m_nRect[3]);
    skin.m_strTip = XmlAttributeW(e, "tip");
}

}  // namespace

bool LineSelectDlg::LoadSkin(HWND hOwner, const TiXmlElement* pNetworkUI, const std::wstring& strSkinDir)
{
    if (hOwner) m_hOwner = hOwner;
    if (pNetworkUI == nullptr) return false;
    if (const TiXmlElement* bg = pNetworkUI->FirstChildElement("BG"))
        m_strBgPath = strSkinDir + XmlAttributeW(bg, "Path");
    const TiXmlElement* buttons = pNetworkUI->FirstChildElement("Button");
    if (buttons == nullptr) return true;
    static const char* const kNames[BTN_COUNT] = {"BTN0", "BTN1", "BTN2", "BTN3"};
    for (int i = 0; i < BTN_COUNT; ++i) {
        const TiXmlElement* e = buttons->FirstChildElement(kNames[i]);
        if (e == nullptr) {
            if (i == BTN_OK) break;  // no confirm entry: nothing after it either
            continue;
        }
        ReadButton(e, strSkinDir, m_Skin[i]);
        m_bHasSkin[i] = true;
    }
    return true;
}

BOOL LineSelectDlg::OnInitDialog()
{
    for (int i = 0; i < BTN_COUNT; ++i) m_Button[i].Attach(m_hWnd, kButtonIds[i]);
    // Opened again, it starts without a choice.
    m_strLine.clear();
    m_bSkinned = false;
    m_Button[BTN_TELECOM].SetFixedState(CKbcButton::STATE_NORMAL);
    m_Button[BTN_UNICOM].SetFixedState(CKbcButton::STATE_NORMAL);
    CGdiBitmap bitmap(m_strBgPath.empty() ? nullptr
                                          : static_cast<HBITMAP>(LoadImageW(nullptr, m_strBgPath.c_str(), IMAGE_BITMAP,
                                                                            0, 0, LR_LOADFROMFILE)));
    // Without its background the dialog keeps the look of its template.
    if (!bitmap) return TRUE;
    m_bSkinned = true;
    // The picture is the whole window: no frame around it.
    SetWindowLongPtrW(m_hWnd, GWL_STYLE, GetWindowLongPtrW(m_hWnd, GWL_STYLE) & ~(WS_CAPTION | WS_THICKFRAME | DS_MODALFRAME));
    SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE,
                      GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) & ~(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE));
    m_nDpi = WindowDpi(m_hWnd);
    CGdiRegion region(BitmapToRegion(bitmap.Get(), RGB(255, 0, 255), m_nDpi, BASE_DPI));
    if (m_Background.LoadPicture(m_strBgPath, m_nDpi))
        SetWindowPos(m_hWnd, nullptr, 0, 0, m_Background.Width(), m_Background.Height(),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    // The window owns the region once it takes it.
    if (region && SetWindowRgn(m_hWnd, region.Get(), TRUE)) region.Release();
    ApplyButtonSkin(BTN_TELECOM, RGB(255, 0, 255));
    ApplyButtonSkin(BTN_UNICOM, RGB(255, 0, 255));
    ApplyButtonSkin(BTN_OK, RGB(250, 0, 250));
    if (!m_bFirstChoice) ApplyButtonSkin(BTN_CLOSE, RGB(250, 0, 250));
    m_Button[BTN_OK].SetState(CKbcButton::STATE_DISABLED);
    return TRUE;
}

void LineSelectDlg::ApplyButtonSkin(int index, COLORREF key)
{
    if (!m_bHasSkin[index]) return;
    const SLineButtonSkin& s = m_Skin[index];
    m_Button[index].LoadImage(s.m_strPath, key, m_nDpi);
    const RECT r = PxRect(s.m_nRect[0], s.m_nRect[1], s.m_nRect[2], s.m_nRect[3], m_nDpi);
    MoveWindow(m_Button[index].GetSafeHwnd(), r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    m_Button[index].SetTooltipText(s.m_strTip);
}

void LineSelectDlg::Choose(const char* line, int chosen, int other)
{
    m_strLine = line;
    m_Button[chosen].SetFixedState(CKbcButton::STATE_PRESSED);
    m_Button[other].SetFixedState(CKbcButton::STATE_NORMAL);
    m_Button[BTN_OK].SetState(CKbcButton::STATE_NORMAL);
}

bool LineSelectDlg::OnCommand(UINT id, UINT code)
{
    switch (id) {
    case IDC_TELECOM:
        Choose("Telecom", BTN_TELECOM, BTN_UNICOM);
        return true;
    case IDC_UNICOM:
        Choose("Unicom", BTN_UNICOM, BTN_TELECOM);
        return true;
    case IDC_OK:
        if (m_strLine == "Telecom")
            SendMessageW(m_hOwner, m_nTelecomMessage, 0, 0);
        else if (m_strLine == "Unicom")
            SendMessageW(m_hOwner, m_nUnicomMessage, 0, 0);
        EndDialog(IDCANCEL);
        return true;
    case IDC_Button_Close:
        EndDialog(IDCANCEL);
        return true;
    default:
        return CDialogBase::OnCommand(id, code);
    }
}

void LineSelectDlg::Paint()
{
    PAINTSTRUCT ps;
    HDC hDC = BeginPaint(m_hWnd, &ps);
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    m_Background.Draw(hDC, 0, 0, 0, 0, rc.right, rc.bottom);
    EndPaint(m_hWnd, &ps);
}

bool LineSelectDlg::DrawPlainButton(const DRAWITEMSTRUCT& item)
{
    // Buttons without an image look like the template's push buttons.
    for (int i = 0; i < BTN_COUNT; ++i)
        if (item.hwndItem == m_Button[i].GetSafeHwnd() && m_Button[i].Image().Loaded()) return false;
    RECT rc = item.rcItem;
    UINT state = DFCS_BUTTONPUSH;
    if (item.itemState & ODS_SELECTED) state |= DFCS_PUSHED;
    if (item.itemState & ODS_DISABLED) state |= DFCS_INACTIVE;
    DrawFrameControl(item.hDC, &rc, DFC_BUTTON, state);
    wchar_t text[64] = {};
    GetWindowTextW(item.hwndItem, text, 64);
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(item.itemState & ODS_DISABLED ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    DrawTextW(item.hDC, text, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    return true;
}

INT_PTR LineSelectDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        if (!m_Background.Loaded()) break;
        Paint();
        return TRUE;
    case WM_DRAWITEM:
        if (DrawPlainButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return SetResult(TRUE);
        break;
    default:
        break;
    }
    return CDialogBase::WindowProc(message, wParam, lParam);
}

}  // namespace UI
