#include "GameSetting.h"

#include <commctrl.h>

#include "ResourceIds.h"
#include "base/utility/StringTable.h"

namespace UI {

namespace {

const int kLevelRadios[] = {IDC_RADIO_LEVEL0, IDC_RADIO_LEVEL1, IDC_RADIO_LEVEL2, IDC_RADIO_LEVEL3};

bool Checked(HWND hDlg, int id) { return IsDlgButtonChecked(hDlg, id) == BST_CHECKED; }

}  // namespace

BOOL CGameSetting::OnInitDialog()
{
    m_File.Load(m_strSettingsPath);
    SetTexts();
    m_vecResolution = ListResolutions(m_pEnumDisplayModes);
    ShowValues(m_File.Read());
    return TRUE;
}

void CGameSetting::SetTexts()
{
    static const struct {
        int id;
        const wchar_t* tag;
    } kTexts[] = {
        {IDC_STATIC_TITLE, L"IDD_SETTING"},
        {IDC_STATIC_Config0, L"IDC_STATIC_Config0"},
        {IDC_RADIO_LEVEL0, L"IDC_RADIO_LEVEL0"},
        {IDC_RADIO_LEVEL1, L"IDC_RADIO_LEVEL1"},
        {IDC_RADIO_LEVEL2, L"IDC_RADIO_LEVEL2"},
        {IDC_RADIO_LEVEL3, L"IDC_RADIO_LEVEL3"},
        {IDC_STATIC_ConfigWindow, L"IDC_STATIC_ConfigWindow"},
        {IDC_RADIO_WINDOW, L"IDC_RADIO_WINDOW"},
        {IDC_RADIO_FULLSRC, L"IDC_RADIO_FULLSRC"},
        {IDC_STATIC_VIEWPORT, L"IDC_STATIC_VIEWPORT"},
        {IDC_STATIC_ConfigSound, L"IDC_STATIC_ConfigSound"},
        {IDC_CHECK_Mute, L"IDC_CHECK_Mute"},
        {IDC_STATIC_BackMusic0, L"IDC_STATIC_BackMusic0"},
        {IDC_STATIC_SkillMusic, L"IDC_STATIC_SkillMusic"},
        {IDC_OK, L"IDC_OK"},
        {IDC_Button_Close, L"IDC_Button_Close"},
        {IDC_REPAIR, L"REPAIR_MENU"},
    };
    SetWindowTextW(m_hWnd, LocalText(L"IDD_SETTING"));
    for (const auto& t : kTexts) SetDlgItemTextW(m_hWnd, t.id, LocalText(t.tag));
}

void CGameSetting::ShowValues(const SEngineSettings& s)
{
    for (int id : kLevelRadios) CheckDlgButton(m_hWnd, id, BST_UNCHECKED);
    const bool known = s.m_nGraphicLevel >= 0 && s.m_nGraphicLevel <= 3;
    CheckDlgButton(m_hWnd, kLevelRadios[known ? s.m_nGraphicLevel : 3], BST_CHECKED);

    CheckDlgButton(m_hWnd, IDC_RADIO_WINDOW, s.m_nFullScreen == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(m_hWnd, IDC_RADIO_FULLSRC, s.m_nFullScreen != 0 ? BST_CHECKED : BST_UNCHECKED);

    for (int id : {IDC_SLIDER_MUSIC, IDC_SLIDER_SKILL})
        SendDlgItemMessageW(m_hWnd, id, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
    SendDlgItemMessageW(m_hWnd, IDC_SLIDER_MUSIC, TBM_SETPOS, TRUE, s.m_nMusicVal);
    SendDlgItemMessageW(m_hWnd, IDC_SLIDER_SKILL, TBM_SETPOS, TRUE, s.m_nSoundVal);
    ShowTrackbarNumber(IDC_SLIDER_MUSIC, s.m_nMusicVal);
    ShowTrackbarNumber(IDC_SLIDER_SKILL, s.m_nSoundVal);

    CheckDlgButton(m_hWnd, IDC_CHECK_Mute, s.m_nMute == 1 ? BST_CHECKED : BST_UNCHECKED);

    const HWND combo = GetDlgItem(IDC_COMBO_RESOLUTION);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const SResolution& r : m_vecResolution) {
        const std::wstring line = std::to_wstring(r.first) + L" x " + std::to_wstring(r.second);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    SendMessageW(combo, CB_SETCURSEL, FirstResolutionAtLeast(m_vecResolution, s.m_nScreenWidth, s.m_nScreenHeight),
                 0);
}

void CGameSetting::ShowTrackbarNumber(int trackbar, int number)
{
    const int label = trackbar == IDC_SLIDER_MUSIC ? IDC_STATIC_MUSIC_VALUE : IDC_STATIC_SKILL_VALUE;
    const std::wstring text = std::to_wstring(number);
    wchar_t shown[16] = {};
    GetDlgItemTextW(m_hWnd, label, shown, 16);
    // Custom draw comes at every repaint: the label only changes with the number.
    if (text != shown) SetDlgItemTextW(m_hWnd, label, text.c_str());
}

SEngineSettings CGameSetting::ControlValues(bool* pScreenSize) const
{
    SEngineSettings s = m_File.Read();
    s.m_nGraphicLevel = 0;
    for (int i = 0; i < 4; ++i)
        if (Checked(m_hWnd, kLevelRadios[i])) s.m_nGraphicLevel = i;
    s.m_nFullScreen = Checked(m_hWnd, IDC_RADIO_FULLSRC) ? 1 : 0;
    s.m_nMusicVal = static_cast<int>(SendDlgItemMessageW(m_hWnd, IDC_SLIDER_MUSIC, TBM_GETPOS, 0, 0));
    s.m_nSoundVal = static_cast<int>(SendDlgItemMessageW(m_hWnd, IDC_SLIDER_SKILL, TBM_GETPOS, 0, 0));
    s.m_nMute = Checked(m_hWnd, IDC_CHECK_Mute) ? 1 : 0;
    const LRESULT selected = SendDlgItemMessageW(m_hWnd, IDC_COMBO_RESOLUTION, CB_GETCURSEL, 0, 0);
    const bool screenSize = selected >= 0 && static_cast<size_t>(selected) < m_vecResolution.size();
    if (screenSize) {
        s.m_nScreenWidth = m_vecResolution[selected].first;
        s.m_nScreenHeight = m_vecResolution[selected].second;
    }
    if (pScreenSize) *pScreenSize = screenSize;
    return s;
}

void CGameSetting::Save()
{
    bool screenSize = false;
    const SEngineSettings s = ControlValues(&screenSize);
    m_File.Save(s, screenSize);
}

bool CGameSetting::OnCommand(UINT id, UINT code)
{
    switch (id) {
    case IDC_OK:
        Save();  // the dialog stays open
        return true;
    case IDC_Button_Close:
        EndDialog(IDCANCEL);
        return true;
    case IDC_REPAIR:
        EndDialog(ID_REPAIR);
        return true;
    case IDC_RADIO_WINDOW:
    case IDC_RADIO_FULLSRC:
        CheckDlgButton(m_hWnd, IDC_RADIO_WINDOW, id == IDC_RADIO_WINDOW ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(m_hWnd, IDC_RADIO_FULLSRC, id == IDC_RADIO_FULLSRC ? BST_CHECKED : BST_UNCHECKED);
        return true;
    default:
        return CDialogBase::OnCommand(id, code);
    }
}

INT_PTR CGameSetting::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code == static_cast<UINT>(NM_CUSTOMDRAW) &&
            (header->idFrom == IDC_SLIDER_MUSIC || header->idFrom == IDC_SLIDER_SKILL))
            ShowTrackbarNumber(static_cast<int>(header->idFrom),
                               static_cast<int>(SendMessageW(header->hwndFrom, TBM_GETPOS, 0, 0)));
        // The default drawing goes on (CDRF_DODEFAULT).
    }
    return CDialogBase::WindowProc(message, wParam, lParam);
}

}  // namespace UI
