// Controls that screen readers see and the player does not: the skin's
// progress bars and status line are painted by the window, so each has a
// standard control in its place that draws nothing and lets the mouse
// through, whose value and text follow what the skin shows.
#pragma once

#include <windows.h>

namespace UI {

// Makes control draw nothing and pass clicks to its parent.
void MakeSilent(HWND control);

// A silent progress bar (0 to 1000) over rect of parent, named name.
HWND CreateSilentProgress(HWND parent, int id, const RECT& rect, const wchar_t* name);

}  // namespace UI
