#include "PlayerDialogs.h"

#include "LauncherSkin.h"

bool CPlayerDialogs::ChooseLineIfNone(HWND hOwner, const SLauncherSkin& skin)
{
    if (!skin.m_strNetType.empty()) return false;
    // Skin image paths of the dialog are app-relative like the window's.
    m_LineSelectDlg.LoadSkin(hOwner, skin.m_pNetworkUI, skin.m_strAppDir);
    m_LineSelectDlg.SetFirstChoice(true);
    m_LineSelectDlg.DoModal(hOwner);
    return true;
}
