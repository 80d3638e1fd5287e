// The window framework on the real dialog templates: binding, commands, owner
// drawn buttons, modal and modeless life, no escaping exception.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "UiTestUtil.h"
#include "ui/DialogBase.h"
#include "ui/KbcButton.h"
#include "ui/ResourceIds.h"

using namespace UI;

namespace {

class CProbeDialog : public CDialogBase {
public:
    explicit CProbeDialog(UINT id) : CDialogBase(id) {}
    std::vector<UINT> commands;
    bool throwOnCommand = false;

protected:
    bool OnCommand(UINT id, UINT code) override
    {
        if (id != IDC_TELECOM && id != IDC_UNICOM) return CDialogBase::OnCommand(id, code);
        if (throwOnCommand) throw std::runtime_error("handler failed");
        commands.push_back(id);
        return true;
    }
};

// The face name of the font a window uses.
std::wstring FontFace(HWND hWnd)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(hWnd, WM_GETFONT, 0, 0));
    LOGFONTW lf = {};
    if (font == nullptr || GetObjectW(font, sizeof lf, &lf) == 0) return L"";
    return lf.lfFaceName;
}

}  // namespace

TEST(DialogBase, TemplatesOpenWithTheirControlsAndFontCommandsReachTheHandlerButtonsAttachOnceCancelEnds)
{
    const struct { UINT id; std::vector<int> controls; } cases[] = {
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
        for (int control : c.controls) EXPECT_NE(dialog.GetDlgItem(control), nullptr) << control;
        EXPECT_EQ(FontFace(dialog.GetSafeHwnd()), L"\x5B8B\x4F53");
    }
    // The icon, the version and the manifest are there too.
    // (RT_GROUP_ICON, RT_VERSION, RT_MANIFEST)
    for (const auto& r : {std::make_pair(IDI_LAUNCHER, 14), std::make_pair(1, 16), std::make_pair(1, 24)})
        EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(r.first), MAKEINTRESOURCEW(r.second)), nullptr) << r.second;

    // Known commands reach the handler, unknown ones the default; an exception
    // in a handler stops at the window procedure and the dialog goes on. (A
    // modal loop ended by IDOK is the layered background's test.)
    CProbeDialog dialog(IDD_LINESELECT_DIALOG);
    ASSERT_TRUE(dialog.Create());
    HWND hWnd = dialog.GetSafeHwnd();
    dialog.throwOnCommand = true;
    SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDC_UNICOM, BN_CLICKED), 0);
    dialog.throwOnCommand = false;
    for (int id : {IDC_TELECOM, IDC_UNICOM, 4242}) SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    SendMessageW(dialog.GetDlgItem(IDC_TELECOM), BM_CLICK, 0, 0);  // a real click reaches the same handler
    EXPECT_EQ(dialog.commands, (std::vector<UINT>{IDC_TELECOM, IDC_UNICOM, IDC_TELECOM}));
    // Drawing through the dialog is what the skinned button tests read from
    // the screen; here a control that takes a second object or none.
    CKbcButton button, second;
    ASSERT_TRUE(button.Attach(hWnd, IDC_TELECOM));
    EXPECT_FALSE(second.Attach(hWnd, IDC_TELECOM)) << "one object per control";
    EXPECT_FALSE(second.Attach(hWnd, 4242));
    // IDCANCEL ends a modeless dialog: its window goes, the object stays.
    SendMessageW(hWnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}
