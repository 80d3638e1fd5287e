// updater install: a patch package into an installation, as the launcher
// installs a package opened by hand.
#include <cstdio>

#include "Commands.h"
#include "Console.h"
#include "base/system/MessageWindow.h"
#include "base/utility/StringTable.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"
#include "transfer/PatchInstaller.h"
#include "base/utility/MessageBox.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

namespace {

int PrintBox(HWND, const wchar_t* text, const wchar_t* caption, UINT)
{
    // A text the table lacks says nothing: the exit code's message follows.
    const std::wstring line = WithoutLineEnd(text);
    if (!line.empty()) PrintError((caption && *caption ? std::wstring(caption) + L": " : std::wstring()) + line);
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
    // Failures are told once, by the exit code's message.
    if (message == WM_DOWNLOAD_PROGRESS && lParam <= 1000 && lParam != 101)
        PrintFractionOf(L"installing ", lParam / 1000.0f);
}

int InstallExitCode(const CUpdateEngine& engine)
{
    if (const int code = FaultExitCode(engine)) return code;
    switch (engine.Result().InstallError()) {
    case INSTALL_OK: return EXIT_OK;
    case INSTALL_BAD_PACKAGE:
    case INSTALL_DELTA_DAMAGED: return ExitWith(EXIT_BAD_PACKAGE);
    case INSTALL_VERSION_RANGE: return ExitWith(EXIT_VERSION_RANGE);
    case INSTALL_COPY_ERROR: return ExitWith(EXIT_COPY_ERROR);
    case INSTALL_DIGEST_ERROR: return ExitWith(EXIT_DIGEST_ERROR);
    case INSTALL_VERSIONS_NOT_SAVED: return ExitWith(EXIT_VERSIONS_NOT_SAVED);
    case INSTALL_REFUSED_NAME: return ExitWith(EXIT_REFUSED_NAME, L"see the log");
    case INSTALL_BOUND_EXCEEDED: return ExitWith(EXIT_BOUND_EXCEEDED, L"see the log");
    case INSTALL_DISK_FULL: return ExitWith(EXIT_DISK_FULL);
    case INSTALL_NEEDS_REPAIR: return ExitWith(EXIT_NEEDS_REPAIR, L"see the log");
    case INSTALL_DELTA_BASE: return ExitWith(EXIT_DELTA_BASE);
    case INSTALL_UNREADABLE: return ExitWith(EXIT_FAILED, L"the package cannot be read (see the log)");
    case INSTALL_FILE_LOCKED: return ExitWith(EXIT_FILE_LOCKED, L"see the log");
    default: return ExitWith(EXIT_FAILED);
    }
}

int FaultExitCode(const CUpdateEngine& engine)
{
    // Scripts get the cause the window would show.
    std::wstring cause = CauseTag(engine.FailureCause());
    if (cause.rfind(L"CAUSE_", 0) == 0) cause = Base::Utility::AsciiLower(cause.substr(6));
    SetExitCause(cause);
    switch (engine.Fault()) {
    case FAULT_NONE: return EXIT_OK;
    case FAULT_REFUSED_NAME: return ExitWith(EXIT_REFUSED_NAME, L"see the log");
    case FAULT_BOUND_EXCEEDED: return ExitWith(EXIT_BOUND_EXCEEDED, L"see the log");
    case FAULT_DISK_FULL: return ExitWith(EXIT_DISK_FULL);
    case FAULT_BAD_DIGEST: return ExitWith(EXIT_PACKAGE_MISMATCH, L"see the log");
    case FAULT_NEEDS_REPAIR: return ExitWith(EXIT_NEEDS_REPAIR, L"see the log");
    case FAULT_UNVERIFIED: return ExitWith(EXIT_UNVERIFIED, L"see the log");
    case FAULT_BAD_KEYS: return ExitWith(EXIT_BAD_KEYS, L"see the log");
    case FAULT_STALE: return ExitWith(EXIT_STALE, L"see the log");
    case FAULT_BAD_MANIFEST: return ExitWith(EXIT_BAD_MANIFEST, L"see the log");
    case FAULT_BAD_CHUNK: return ExitWith(EXIT_BAD_CHUNK, L"see the log");
    case FAULT_DAMAGED: return ExitWith(EXIT_DAMAGED_INSTALLATION);
    case FAULT_NO_MANIFEST: return ExitWith(EXIT_NO_MANIFEST);
    case FAULT_FILE_LOCKED: return ExitWith(EXIT_FILE_LOCKED, L"see the log");
    case FAULT_NOT_WRITABLE: return ExitWith(EXIT_NOT_WRITABLE, L"see the log");
    }
    return ExitWith(EXIT_FAILED);
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
    return engine.Initialize(hWnd, true, info, single, nullptr);
}

int InitExitCode(const CUpdateEngine& engine)
{
    if (engine.Fault() == FAULT_NEEDS_REPAIR || engine.Fault() == FAULT_BAD_KEYS || engine.Fault() == FAULT_NOT_WRITABLE)
        return FaultExitCode(engine);
    return ExitWith(EXIT_NO_CONFIG);
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
    if (package.empty() || dir.empty()) return ExitWith(EXIT_USAGE, L"updater install PACKAGE --dir GAMEDIR");
    package = FullPath(package);
    if (GetFileAttributesW(package.c_str()) == INVALID_FILE_ATTRIBUTES)
        return ExitWith(EXIT_FAILED, L"no package " + package);
    if (!EnterGameDir(dir)) return EXIT_FAILED;

    CMessageWindow window(&ShowInstallMessage);
    CUpdateEngine engine;
    if (!InitEngine(engine, window.Handle(), &PrintStatus, nullptr)) return InitExitCode(engine);
    engine.m_strManualPatchPath = Base::Utility::WideToUtf8(package);
    engine.m_strPackagePath = engine.m_strManualPatchPath;
    engine.m_nRunMode = RUNMODE_MANUAL_PATCH;
    engine.m_nFinished = 0;
    const bool ok = engine.Setup(0.3f, 1.0f);
    EndProgress();
    if (!ok) return InstallExitCode(engine);
    engine.m_nFinished = 1;
    engine.CloseLog(false);
    engine.initBasic();  // the package wrote the versions into the file
    PrintLine(L"installed " + package + L": client version " +
              Base::Utility::AnsiToWide(engine.GetLocalVersionStr()));
    return EXIT_OK;
}
