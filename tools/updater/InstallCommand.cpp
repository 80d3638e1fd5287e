// updater install: a patch package into an installation, as the launcher
// installs a package opened by hand.
#include <cstdio>

#include "Commands.h"
#include "Console.h"
#include "ui/MessageWindow.h"
#include "base/utility/StringTable.h"
#include "base/utility/StrConv.h"
#include "transfer/PatchInstaller.h"
#include "base/utility/MessageBox.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

namespace {

int PrintBox(HWND, const wchar_t* text, const wchar_t* caption, UINT)
{
    PrintError((caption && *caption ? std::wstring(caption) + L": " : std::wstring()) + WithoutLineEnd(text));
    return IDOK;
}

void PrintStatus(const wchar_t* text)
{
    const std::wstring line = WithoutLineEnd(text);
    if (!line.empty()) PrintLine(line);
}

std::wstring FullPath(const std::wstring& path)
{
    wchar_t buf[MAX_PATH * 4];
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, buf, nullptr);
    return n > 0 && n < MAX_PATH * 4 ? std::wstring(buf, n) : path;
}

}  // namespace

void ShowInstallMessage(UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_DOWNLOAD_PROGRESS:
        if (lParam <= 1000 && lParam != 101) PrintProgress(L"installing " + Percent(lParam / 1000.0f));
        break;
    case WM_PACK_FILELIST_ERROR: PrintError(L"the package holds no usable file list"); break;
    case WM_PACK_VERSION_ERROR:
        PrintError(L"the package names no versions, or the installed version is outside its range");
        break;
    case WM_AUTOPATCH_STOP: PrintError(L"the new versions could not be saved"); break;
    default: break;
    }
}

int InstallExitCode(int installError)
{
    switch (installError) {
    case INSTALL_OK: return 0;
    case INSTALL_BAD_PACKAGE: return EXIT_BAD_PACKAGE;
    case INSTALL_VERSION_RANGE: return EXIT_VERSION_RANGE;
    case INSTALL_COPY_ERROR: return EXIT_COPY_ERROR;
    case INSTALL_DIGEST_ERROR: return EXIT_DIGEST_ERROR;
    case INSTALL_VERSIONS_NOT_SAVED: return EXIT_VERSIONS_NOT_SAVED;
    case INSTALL_REFUSED_NAME: return EXIT_REFUSED_NAME;
    case INSTALL_BOUND_EXCEEDED: return EXIT_BOUND_EXCEEDED;
    case INSTALL_DISK_FULL: return EXIT_DISK_FULL;
    case INSTALL_NEEDS_REPAIR: return EXIT_NEEDS_REPAIR;
    case INSTALL_DELTA_BASE: return EXIT_DELTA_BASE;
    case INSTALL_DELTA_DAMAGED: return EXIT_BAD_PACKAGE;
    default: return EXIT_FAILED;
    }
}

int FaultExitCode(const CUpdateEngine& engine)
{
    switch (engine.Fault()) {
    case FAULT_NONE: return 0;
    case FAULT_REFUSED_NAME:
        PrintError(L"a name sent by the server or a package was refused (see the log)");
        return EXIT_REFUSED_NAME;
    case FAULT_BOUND_EXCEEDED:
        PrintError(L"the server's data exceeds a bound: size, nesting or count (see the log)");
        return EXIT_BOUND_EXCEEDED;
    case FAULT_DISK_FULL: PrintError(L"the disk is full"); return EXIT_DISK_FULL;
    case FAULT_BAD_DIGEST:
        PrintError(L"the downloaded package is not the size or MD5 that the revision table states");
        return EXIT_PACKAGE_MISMATCH;
    case FAULT_NEEDS_REPAIR:
        PrintError(L"the installation needs repair: its installation journal cannot be trusted; the backups in "
                   L"PatchCfg\\PatchBackup are kept (see the log)");
        return EXIT_NEEDS_REPAIR;
    case FAULT_UNVERIFIED:
        PrintError(L"a download's signature was missing or refused; nothing of it was used (see the log)");
        return EXIT_UNVERIFIED;
    }
    return EXIT_FAILED;
}

bool EnterGameDir(const std::wstring& dir)
{
    if (!SetCurrentDirectoryW(dir.c_str())) {
        PrintError(L"cannot enter the installation directory " + dir);
        return false;
    }
    std::wstring appDir = FullPath(L".");
    if (appDir.empty() || appDir.back() != L'\\') appDir.push_back(L'\\');
    // Status texts come from the installation's own text table.
    LoadStringTable(appDir, nullptr);
    SetMessageBoxHook(&PrintBox);
    return true;
}

bool InitEngine(CUpdateEngine& engine, HWND hWnd, void (*info)(const wchar_t*), void (*single)(float))
{
    if (!engine.Initialize(hWnd, true, info, single, nullptr)) {
        if (engine.Fault() == FAULT_NONE || engine.Fault() == FAULT_BOUND_EXCEEDED)
            PrintError(L"the installation's configuration PatchCfg\\NewUpdateCfg.xml cannot be read");
        return false;
    }
    return true;
}

int InitExitCode(const CUpdateEngine& engine)
{
    if (engine.Fault() == FAULT_NEEDS_REPAIR) return FaultExitCode(engine);
    return EXIT_NO_CONFIG;
}

int RunInstall(const Args& args)
{
    std::wstring package, dir;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--dir" && i + 1 < args.size())
            dir = args[++i];
        else if (package.empty() && args[i].rfind(L"--", 0) != 0)
            package = args[i];
        else {
            package.clear();
            break;
        }
    }
    if (package.empty() || dir.empty()) {
        PrintError(L"usage: updater install PACKAGE --dir GAMEDIR");
        return EXIT_USAGE;
    }
    package = FullPath(package);
    if (GetFileAttributesW(package.c_str()) == INVALID_FILE_ATTRIBUTES) {
        PrintError(L"no package " + package);
        return EXIT_FAILED;
    }
    if (!EnterGameDir(dir)) return EXIT_FAILED;

    CMessageWindow window(&ShowInstallMessage);
    CUpdateEngine engine;
    if (!InitEngine(engine, window.Handle(), &PrintStatus, nullptr)) return InitExitCode(engine);
    engine.m_strManualPatchPath = Base::Utility::WideToAnsi(package);
    engine.m_strPackagePath = engine.m_strManualPatchPath;
    engine.m_nRunMode = RUNMODE_MANUAL_PATCH;
    engine.m_nFinished = 0;
    const bool ok = engine.Setup(0.3f, 1.0f);
    EndProgress();
    if (!ok) {
        if (engine.Fault() == FAULT_NEEDS_REPAIR) return FaultExitCode(engine);
        return InstallExitCode(engine.m_nInstallError);
    }
    engine.m_nFinished = 1;
    engine.CloseLog(false);
    engine.initBasic();  // the package wrote the versions into the file
    PrintLine(L"installed " + package + L": client version " +
              Base::Utility::AnsiToWide(engine.GetLocalVersionStr()));
    return 0;
}
