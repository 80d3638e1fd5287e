// launcher.exe: the application object and the program's entry.
#include <windows.h>

#include "LauncherSkin.h"
#include "PatchApp.h"

namespace {

// Stands in for the skinned main window until it exists: shows the skin's
// caption, comes back when a second launcher asks, ends on close.
class CStartupWindow : public IMainWindow {
public:
    SLauncherSkin& Skin() override { return m_skin; }
    void DoModal() override
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = L"TidewellLauncher";
        RegisterClassW(&wc);
        HWND hWnd = CreateWindowW(wc.lpszClassName, m_skin.m_strWindowCaption.c_str(), WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, nullptr, nullptr, wc.hInstance, nullptr);
        if (hWnd == nullptr) return;
        ShowWindow(hWnd, SW_SHOW);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == g_msgRestoreWindow) {
            ShowWindow(hWnd, SW_RESTORE);
            SetForegroundWindow(hWnd);
            return 0;
        }
        if (message == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcW(hWnd, message, wParam, lParam);
    }
    SLauncherSkin m_skin;
};

std::unique_ptr<IMainWindow> CreateMainWindow(CPatchApp&) { return std::make_unique<CStartupWindow>(); }

CPatchApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    theApp.m_pCreateMainWindow = &CreateMainWindow;
    theApp.InitInstance();
    return 0;
}
