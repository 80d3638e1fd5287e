// launcher.exe: the application object and the program's entry.
#include <windows.h>

#include "LauncherWindow.h"
#include "PatchApp.h"

namespace {

std::unique_ptr<IMainWindow> CreateMainWindow(CPatchApp&) { return std::make_unique<CLauncherWindow>(); }

CPatchApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    theApp.m_pCreateMainWindow = &CreateMainWindow;
    return theApp.Run(hInstance);
}
