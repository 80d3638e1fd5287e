// The window framework on the real dialog templates: binding, the command
// switch, reflected drawing, modal and modeless life, no escaping exception.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "UiTestUtil.h"
#include "ui/DialogBase.h"
#include "ui/OwnerDrawButton.h"
#include "ui/ResourceIds.h"

using namespace UI;

namespace {

class CProbeDialog : public CDialogBase {
public:
    explicit CProbeDialog(UINT id) : CDialogBase(id) {}
    HWND seenInInit = nullptr;
    std::vector<UINT> commands;
    bool throwOnCommand = false;

protected:
    BOOL OnInitDialog() override
    {
        seenInInit = m_hWnd;
        return TRUE;
    }
    bool OnCommand(UINT id, UINT code) override
    {
        switch (id) {
        case IDC_TELECOM:
            return OnTelecom();
        case IDC_UNICOM:
            if (throwOnCommand) throw std::runtime_error("handler failed");
            commands.push_back(id);
            return true;
        default:
            return CDialogBase::OnCommand(id, code);
        }
    }

private:
    bool OnTelecom()
    {
        commands.push_back(IDC_TELECOM);
        return true;
    }
};

class CProbeButton : public COwnerDrawButton {
public:
    int draws = 0;
    void DrawItem(const DRAWITEMSTRUCT& item) override
    {
        ++draws;
        FillRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
};

struct TemplateCase {
    UINT id;
    std::vector<int> controls;
};

}  // namespace

TEST(DialogTemplates, EveryTemplateOpensWithItsControlsAndTheSongtiFont)
{
    const TemplateCase cases[] = {
        {IDD_BG_DIALOG, {}},
        {IDD_PATCH_DIALOG,
         {IDC_START, IDC_CLOSE, IDC_MINIMIZE, IDC_LINK3, IDC_SETTINGS, IDC_LINK5, IDC_LINK6, IDC_LINK7, IDC_LINK8,
          IDC_LINK9, IDC_LINK10}},
        {IDD_LINESELECT_DIALOG, {IDC_TELECOM, IDC_UNICOM, IDC_OK, IDC_Button_Close}},
        {IDD_SETTING_DIALOG,
         {IDC_STATIC_TITLE, IDC_STATIC_Config0, IDC_RADIO_LEVEL0, IDC_RADIO_LEVEL1, IDC_RADIO_LEVEL2,
          IDC_RADIO_LEVEL3, IDC_STATIC_ConfigWindow, IDC_RADIO_WINDOW, IDC_RADIO_FULLSRC, IDC_STATIC_VIEWPORT,
          IDC_COMBO_RESOLUTION, IDC_STATIC_ConfigSound, IDC_CHECK_Mute, IDC_STATIC_BackMusic0,
          IDC_STATIC_SkillMusic, IDC_SLIDER_MUSIC, IDC_SLIDER_SKILL, IDC_STATIC_MUSIC_VALUE, IDC_STATIC_SKILL_VALUE,
          IDC_OK, IDC_Button_Close}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        CProbeDialog dialog(c.id);
        ASSERT_TRUE(dialog.Create());
        EXPECT_EQ(dialog.seenInInit, dialog.GetSafeHwnd()) << "bound before OnInitDialog";
        for (int control : c.controls) EXPECT_NE(dialog.GetDlgItem(control), nullptr) << control;
        EXPECT_EQ(FontFace(dialog.GetSafeHwnd()), L"\x5B8B\x4F53");
    }
}

TEST(DialogTemplates, IconVersionAndManifestAreInTheProgram)
{
    HMODULE self = GetModuleHandleW(nullptr);
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDI_LAUNCHER), MAKEINTRESOURCEW(14)), nullptr);  // RT_GROUP_ICON
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)), nullptr);             // RT_VERSION
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);             // RT_MANIFEST
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(path, &handle));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(info.size()), info.data()));
    wchar_t* name = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\080404b0\\OriginalFilename",
                               reinterpret_cast<void**>(&name), &length));
    EXPECT_STREQ(name, L"launcher.exe");
}

TEST(DialogBase, CommandsGoThroughTheSwitchAndUnknownOnesToTheDefault)
{
    CProbeDialog dialog(IDD_LINESELECT_DIALOG);
    ASSERT_TRUE(dialog.Create());
    HWND hWnd = dialog.GetSafeHwnd();
    SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDC_TELECOM, BN_CLICKED), 0);
    SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDC_UNICOM, BN_CLICKED), 0);
    SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(4242, BN_CLICKED), 0);
    EXPECT_EQ(dialog.commands, (std::vector<UINT>{IDC_TELECOM, IDC_UNICOM}));
    // A real click on the control reaches the same switch.
    SendMessageW(dialog.GetDlgItem(IDC_TELECOM), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.commands.size(), 3u);
    // IDCANCEL ends a modeless dialog: its window goes, the object stays.
    SendMessageW(hWnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

TEST(DialogBase, AnExceptionInAHandlerStopsAtTheWindowProcedure)
{
    CProbeDialog dialog(IDD_LINESELECT_DIALOG);
    ASSERT_TRUE(dialog.Create());
    dialog.throwOnCommand = true;
    SendMessageW(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_UNICOM, BN_CLICKED), 0);
    dialog.throwOnCommand = false;
    SendMessageW(dialog.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_UNICOM, BN_CLICKED), 0);
    EXPECT_EQ(dialog.commands, std::vector<UINT>{IDC_UNICOM});
}

TEST(DialogBase, ModalDialogReturnsWhatEndedIt)
{
    CProbeDialog dialog(IDD_LINESELECT_DIALOG);
    // The modal loop runs the timer that ends it.
    struct Ender {
        static void CALLBACK Tick(HWND hWnd, UINT, UINT_PTR id, DWORD)
        {
            KillTimer(hWnd, id);
            PostMessageW(hWnd, WM_COMMAND, IDOK, 0);
        }
    };
    class CTimedDialog : public CProbeDialog {
    public:
        CTimedDialog() : CProbeDialog(IDD_LINESELECT_DIALOG) {}
        BOOL OnInitDialog() override
        {
            SetTimer(m_hWnd, 1, 10, &Ender::Tick);
            return CProbeDialog::OnInitDialog();
        }
    } timed;
    EXPECT_EQ(timed.DoModal(), IDOK);
    EXPECT_NE(timed.seenInInit, nullptr);
}

TEST(DialogBase, OwnerDrawnButtonsDrawThemselvesThroughTheDialog)
{
    CProbeDialog dialog(IDD_LINESELECT_DIALOG);
    ASSERT_TRUE(dialog.Create());
    CProbeButton button;
    ASSERT_TRUE(button.Attach(dialog.GetSafeHwnd(), IDC_TELECOM));
    CProbeButton second;
    EXPECT_FALSE(second.Attach(dialog.GetSafeHwnd(), IDC_TELECOM)) << "one object per control";
    EXPECT_FALSE(second.Attach(dialog.GetSafeHwnd(), 4242));
    ShowWindow(dialog.GetSafeHwnd(), SW_SHOW);
    InvalidateRect(button.GetSafeHwnd(), nullptr, TRUE);
    UpdateWindow(button.GetSafeHwnd());
    EXPECT_GE(button.draws, 1);
    EXPECT_EQ(ClientPixel(button.GetSafeHwnd(), 2, 2), RGB(0, 0, 0));
}
