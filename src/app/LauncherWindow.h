// The launcher's window pair as start-up runs it: the layered background
// window owning the main window, which holds the skin.
#pragma once

#include "PatchApp.h"
#include "PatchDlg.h"
#include "ui/BgDialog.h"

class CLauncherWindow : public IMainWindow {
public:
    // Makes the update engine when there is none yet.
    explicit CLauncherWindow(CPatchApp& app);

    SLauncherSkin& Skin() override { return m_dlgPatch; }
    UI::CDialogBase* Dialog() override { return &m_dlgBg; }
    // The background takes the skin's PNG, then runs modally.
    void DoModal() override;

    CPatchDlg m_dlgPatch;  // constructed first: the background refers to it
    UI::CBgDialog m_dlgBg;
};
