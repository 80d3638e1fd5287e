// launcher.exe: the application object and the program's entry.
#include <windows.h>

#include "LauncherWindow.h"
#include "PatchApp.h"

namespace {

std::unique_ptr<IMainWindow> CreateMainWindow(CPatchApp&) { return std::make_unique<CLauncherWindow>(); }

CPatchApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    theApp.m_pCreateMainWindow = &CreateMainWindow;
    theApp.InitInstance();
    return 0;
}
