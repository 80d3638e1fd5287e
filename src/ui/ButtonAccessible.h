// What a screen reader learns of an owner-drawn button: the standard
// object of the window (its name is the window text, the skin's tooltip),
// with the role of a push button, whose default action presses it. Owner
// drawing hides the role from the standard object on some systems.
#pragma once

#include <windows.h>

namespace UI {

// The answer to WM_GETOBJECT of an owner-drawn button; 0 for other objects.
LRESULT AnswerButtonObject(HWND hWnd, WPARAM wParam, LPARAM lParam);

}  // namespace UI
