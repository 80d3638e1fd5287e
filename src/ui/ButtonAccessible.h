// What a screen reader learns of an owner-drawn button, and of the silent
// controls that stand for what the skin paints: the standard object of the
// window (its name is the window text: a button's tooltip, the status line)
// with the role it has to the player: a push button whose default action
// presses it, a progress bar with its value, a static text. Owner drawing
// and subclassing hide the role from the standard object on some systems.
#pragma once

#include <windows.h>

namespace UI {

// The answer to WM_GETOBJECT of an owner-drawn button; 0 for other objects.
LRESULT AnswerButtonObject(HWND hWnd, WPARAM wParam, LPARAM lParam);
// The same for a silent control standing for what the skin paints: a
// progress bar (its value "N%") or a static text.
LRESULT AnswerSilentObject(HWND hWnd, WPARAM wParam, LPARAM lParam, bool progress);

}  // namespace UI
