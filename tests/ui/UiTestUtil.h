// Helpers of the window tests: message pumping, pixels of real windows,
// BMP files written pixel by pixel, the mouse moved for real.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "ui/DialogBase.h"

// Dispatches this thread's messages until done() or timeoutMs.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 3000);
// Dispatches what is queued now, then for ms more.
void PumpFor(DWORD ms);

// The colour on screen of a point in a window's client area.
COLORREF ClientPixel(HWND hWnd, int x, int y);
// Waits until the pixel has the colour (drawing is asynchronous).
bool WaitForPixel(HWND hWnd, int x, int y, COLORREF colour, DWORD timeoutMs = 3000);

// A 24-bit bottom-up BMP of width x height whose pixels come from pixel(x, y).
void WriteBmp(const fs::path& path, int width, int height, const std::function<COLORREF(int, int)>& pixel);

// The real mouse: moves the cursor to a client point of hWnd, presses and
// releases the left button.
void MouseMoveTo(HWND hWnd, int x, int y);
void MouseLeftDown();
void MouseLeftUp();
// Clicks control id of a dialog, 8 pixels in from its left (where a check box
// has its box) or at its centre, then pumps until done() holds (false when it
// never does) or, without one, for a short while. A fixed pause alone loses
// clicks on a loaded machine, so tests pass what the click must change.
bool ClickControl(HWND dialog, int id, const std::function<bool()>& done = nullptr, bool centre = false);
// Shows a window at x, y in front of the others, painted.
void ShowAt(HWND hWnd, int x, int y);

// A child's {left, top, width, height} in its parent's client area.
std::vector<LONG> ChildBounds(HWND child);
bool HasVisibleStyle(HWND hWnd);  // its own WS_VISIBLE, whatever its parent's
// 1 or 0 whether the window's region holds the point, -1 without a region.
int InWindowRegion(HWND hWnd, int x, int y);

// A dialog of a real template with no behaviour of its own.
class CPlainDialog : public UI::CDialogBase {
public:
    explicit CPlainDialog(UINT id) : CDialogBase(id) {}
};

// The path of the running test program.
std::wstring ModulePath();

// The sample skin drawn by scripts/draw-skin (a CTest fixture).
fs::path SampleSkinDir();
