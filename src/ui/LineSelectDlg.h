// The small skinned dialog in which the player picks the network line. It
// keeps no choice of its own: a confirmed line goes to the owner as a
// message, and the owner remembers it.
#pragma once

#include <windows.h>

#include <string>

#include "DialogBase.h"
#include "GdiHandle.h"
#include "KbcButton.h"
#include "ScaledImage.h"

class TiXmlElement;

namespace UI {

// A button's entry of the line skin: rectangle x, y, width, height, image, tip.
struct SLineButtonSkin {
    int m_nRect[4] = {0, 0, 0, 0};
    std::wstring m_strPath;
    std::wstring m_strTip;
};

class LineSelectDlg : public CDialogBase {
public:
    enum { IDD = 103 };
    // Telecom, Unicom, confirm, close.
    enum { BTN_TELECOM, BTN_UNICOM, BTN_OK, BTN_CLOSE, BTN_COUNT };

    // The owner hears of a confirmed choice by one of the two messages.
    LineSelectDlg(UINT telecomMessage, UINT unicomMessage)
        : CDialogBase(IDD), m_nTelecomMessage(telecomMessage), m_nUnicomMessage(unicomMessage)
    {
    }

    // The skin's NetworkUI element: background BG, buttons Button/BTN0 to
    // BTN2 and, for the close button, BTN3. Image paths are prefixed with
    // strSkinDir. A null owner keeps the one set before; false only for a
    // null element.
    bool LoadSkin(HWND hOwner, const TiXmlElement* pNetworkUI, const std::wstring& strSkinDir);
    // The first choice keeps the close button's template look.
    void SetFirstChoice(bool bFirstChoice) { m_bFirstChoice = bFirstChoice; }

    const std::string& Line() const { return m_strLine; }
    bool Skinned() const { return m_bSkinned; }
    const SLineButtonSkin& ButtonSkin(int index) const { return m_Skin[index]; }
    const std::wstring& BackgroundPath() const { return m_strBgPath; }
    CKbcButton& Button(int index) { return m_Button[index]; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ApplyButtonSkin(int index, COLORREF key);
    void Choose(const char* line, int chosen, int other);
    void Paint();
    bool DrawPlainButton(const DRAWITEMSTRUCT& item);

    CKbcButton m_Button[BTN_COUNT];
    SLineButtonSkin m_Skin[BTN_COUNT];
    bool m_bHasSkin[BTN_COUNT] = {false, false, false, false};
    std::wstring m_strBgPath;
    CScaledImage m_Background;
    int m_nDpi = BASE_DPI;
    std::string m_strLine;
    HWND m_hOwner = nullptr;
    bool m_bFirstChoice = false;
    bool m_bSkinned = false;
    UINT m_nTelecomMessage, m_nUnicomMessage;
};

}  // namespace UI
