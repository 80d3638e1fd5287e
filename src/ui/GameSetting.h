// The game settings dialog: quality level, window or full screen,
// resolution, volumes and mute, edited in the game engine's settings file.
// It stays open after OK; Close ends it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "DialogBase.h"
#include "DisplayModes.h"
#include "EngineSetFile.h"

namespace UI {

class CGameSetting : public CDialogBase {
public:
    enum { IDD = 186 };

    CGameSetting() : CDialogBase(IDD) {}

    // Seams: where the file lies (relative to the current directory, the
    // installation) and how the display modes are enumerated.
    std::string m_strSettingsPath = "PlayerCfg\\EngineSet.xml";
    EnumDisplayModesFunc m_pEnumDisplayModes = &EnumDisplaySettingsW;

    const std::vector<SResolution>& Resolutions() const { return m_vecResolution; }
    // The values as the controls show them now.
    SEngineSettings ControlValues(bool* pScreenSize = nullptr) const;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void SetTexts();
    void ShowValues(const SEngineSettings& s);
    void ShowTrackbarNumber(int trackbar, int number);
    void Save();

    CEngineSetFile m_File;
    std::vector<SResolution> m_vecResolution;
};

}  // namespace UI
