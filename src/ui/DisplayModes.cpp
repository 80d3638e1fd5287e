#include "DisplayModes.h"

#include <algorithm>

std::vector<SResolution> ListResolutions(EnumDisplayModesFunc enumerate)
{
    std::vector<SResolution> list;
    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    // A driver that never stops enumerating is cut off.
    for (DWORD i = 0; i < 100000 && enumerate(nullptr, i, &mode); ++i) {
        const SResolution size(mode.dmPelsWidth, mode.dmPelsHeight);
        if (size.first < 1024 || size.first > 10480 || size.second < 768 || size.second > 10480) continue;
        if (std::find(list.begin(), list.end(), size) == list.end()) list.push_back(size);
    }
    return list;
}

int FirstResolutionAtLeast(const std::vector<SResolution>& list, unsigned width, unsigned height)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].first >= width && list[i].second >= height) return static_cast<int>(i);
    return -1;
}
