// The launcher's application object: where the installation lies, one
// running instance, the launcher's own replacement, the free-space check, the
// channel, the command line, and the modal run of the main window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/utility/WinHandle.h"
#include "ui/Application.h"

struct SLauncherSkin;
namespace UI {
class CDialogBase;
}

// A second launcher broadcasts it; the running one restores its window.
extern const UINT g_msgRestoreWindow;
extern int g_nInstanceRetry;

extern const wchar_t kInstanceMutexName[];
extern const wchar_t kPatchFileKey[];         // under HKEY_CURRENT_USER
extern const wchar_t kPatchFileCommandKey[];  // holds the installation directory

// The main window as start-up sees it: built before the skin is parsed into
// it, then run modally.
class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    virtual SLauncherSkin& Skin() = 0;
    virtual void DoModal() = 0;
    // The dialog that start-up runs, as the application's main window.
    virtual UI::CDialogBase* Dialog() { return nullptr; }
};

class CPatchApp;
typedef std::unique_ptr<IMainWindow> (*MainWindowFactory)(CPatchApp& app);
// Free bytes of the volume that holds dir; false when they cannot be told.
typedef bool (*FreeSpaceQuery)(const std::wstring& dir, std::uint64_t* freeBytes);

class CPatchApp : public UI::CApplication {
public:
    CPatchApp();
    ~CPatchApp() override;
    CPatchApp(const CPatchApp&) = delete;
    CPatchApp& operator=(const CPatchApp&) = delete;

    // Start-up up to the end of the main window; always FALSE, the process
    // then ends.
    BOOL InitInstance() override;

    bool StartEmergencyUpdate(const std::wstring& strDir, const std::wstring& strExtraArgs);
    bool RegisterPatchFileType();

    // The steps of start-up.
    void ResolvePaths();
    bool ReadRegisteredDir();
    bool CheckSingleInstance();
    bool UpdateSelf();
    bool CheckDiskSpace();
    bool CreateDesktopShortcut();
    void FlushDnsCache();
    void ReadChannel();
    std::string SkinFilePath() const;
    void EvaluateArguments(const std::vector<std::wstring>& args);
    // An unfinished installation is undone before anything it may have been
    // delivering (a new launcher) is used.
    void RecoverInstallation();

    DWORD m_dwEmergencyProcessId = 0;
    Base::Utility::CKernelHandle m_hEmergencyProcess;
    std::wstring m_strAppDir;  // ends in '\'
    std::wstring m_strPatchFile;
    std::wstring m_strExeName;
    std::wstring m_strExePath;
    std::wstring m_strRegisteredDir;
    bool m_bInternalTest = false;
    bool m_bManualPatch = false;
    bool m_bRepair = false;  // "-repair": the installation is checked and repaired once the update information is in
    bool m_bRegistered = false;
    Base::Utility::CKernelHandle m_hMutex;
    std::wstring m_strChannel;

    // Seams of start-up.
    MainWindowFactory m_pCreateMainWindow = nullptr;  // none: start-up ends before the window
    FreeSpaceQuery m_pFreeSpace;
    std::wstring m_strFullClientPage;  // opened when the disk is too full

    // The caption of start-up's message boxes.
    std::wstring Title() const;

private:
    void CloseMutex();
};

extern CPatchApp* g_pPatchApp;

// The free space that start-up asks for, in MiB.
const std::uint64_t kMinFreeMiB = 4096;
