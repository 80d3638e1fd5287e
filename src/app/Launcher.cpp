// launcher.exe: the application object and the program's entry.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "LauncherWindow.h"
#include "PatchApp.h"
#include "base/utility/ProductVersion.h"
#include "ui/DpiScale.h"

namespace {

const wchar_t kUsage[] =
    L"launcher.exe " TW_VERSION_TEXT L" (packages " TW_PACKAGE_FORMATS L")\n\n"
    L"usage: launcher.exe [PACKAGE] [-TS] [-repair] [GAME ARGUMENTS]\n\n"
    L"  (no argument)   update the installation this launcher stands in, then start the game\n"
    L"  PACKAGE         install a patch package (.exe or .korvalen) first; with trusted keys\n"
    L"                  PACKAGE.minisig must lie beside it\n"
    L"  -TS             use the test server's update information (newupdateinfo_qa.zip)\n"
    L"  -repair         check every file against its release and restore the missing and\n"
    L"                  damaged ones (also in the notification-area menu and the settings)\n"
    L"  /?              this text\n\n"
    L"What follows the program name goes to the game as it is. The log of each run is\n"
    L"PatchCfg\\PatchTemp\\Tidewell.log (UTF-16); failed runs keep theirs as *.err.";

bool AskedForUsage()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool asked = false;
    for (int i = 1; argv && i < argc; ++i) {
        const std::wstring a = argv[i];
        asked = asked || a == L"/?" || a == L"-h" || a == L"--help" || a == L"--version";
    }
    LocalFree(argv);
    return asked;
}

std::unique_ptr<IMainWindow> CreateMainWindow(CPatchApp& app) { return std::make_unique<CLauncherWindow>(app); }

CPatchApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    UI::DeclareDpiAware();
    if (AskedForUsage()) {
        MessageBoxW(nullptr, kUsage, L"launcher.exe", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    theApp.m_pCreateMainWindow = &CreateMainWindow;
    return theApp.Run(hInstance);
}
