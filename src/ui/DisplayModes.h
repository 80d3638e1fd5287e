// The screen resolutions the settings dialog offers: the display modes of
// the current display device, each size once, in the order enumerated.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

typedef std::pair<unsigned, unsigned> SResolution;  // width, height
typedef BOOL(WINAPI* EnumDisplayModesFunc)(LPCWSTR device, DWORD index, DEVMODEW* mode);

// Modes from 1024 x 768 up to 10480 x 10480; other colour depths and
// frequencies of a listed size count once.
std::vector<SResolution> ListResolutions(EnumDisplayModesFunc enumerate = &EnumDisplaySettingsW);

// The first entry at least width x height, or -1.
int FirstResolutionAtLeast(const std::vector<SResolution>& list, unsigned width, unsigned height);
