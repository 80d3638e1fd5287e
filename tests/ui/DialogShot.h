// Screenshots of windows for a person to look at, as PNG files under
// build/artifacts/ (TW_ARTIFACTS_DIR).
#pragma once

#include <windows.h>

#include <string>

// The window as the screen shows it now; false when it could not be saved.
bool SaveWindowShot(HWND hWnd, const std::wstring& name);
