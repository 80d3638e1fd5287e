// The main window's two player dialogs: the line choice when the skin has
// none yet, and the game settings, opened from button 4.
#pragma once

#include <windows.h>

#include "ui/GameSetting.h"
#include "ui/LineSelectDlg.h"
#include "update/Messages.h"

struct SLauncherSkin;

class CPlayerDialogs {
public:
    // Runs the line dialog for a skin without a line; the choice reaches
    // owner as WM_SELECT_TELECOM or WM_SELECT_UNICOM. True when it ran.
    bool ChooseLineIfNone(HWND hOwner, const SLauncherSkin& skin);
    // How the settings dialog was closed (ID_REPAIR: its repair button).
    INT_PTR OpenSettings(HWND hOwner) { return m_GameSetting.DoModal(hOwner); }

    UI::LineSelectDlg m_LineSelectDlg{WM_SELECT_TELECOM, WM_SELECT_UNICOM};
    UI::CGameSetting m_GameSetting;
};
