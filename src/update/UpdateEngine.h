// The update engine: one object that loads the local configuration, runs
// updates on worker threads, logs every step and reports to the window.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "base/system/ZLock.h"
#include "base/utility/WinHandle.h"
#include "transfer/INetDownLoad.h"
#include "transfer/InstallJournal.h"
#include "transfer/Revision.h"

// Report targets of SetLog, a bit set.
enum : unsigned {
    LOG_TO_FILE = 1,
    LOG_TO_INFO = 2,
};

// What the engine is doing; names the .err file of an unfinished run.
enum : unsigned {
    RUNMODE_GET_ALL_UPDATEINFO = 0,
    RUNMODE_AUTO = 1,
    RUNMODE_MANUAL_PATCH = 2,
    RUNMODE_AUTO_REPAIR = 3,
};

typedef void (*InfoOutputFunCallback)(const wchar_t* pText);
typedef void (*ProgressFunCallback)(float fraction);

class CUpdateEngine {
public:
    CUpdateEngine();
    ~CUpdateEngine();
    CUpdateEngine(const CUpdateEngine&) = delete;
    CUpdateEngine& operator=(const CUpdateEngine&) = delete;

    // Initialisation (Initialize.cpp).
    bool Initialize(HWND hWnd, bool bInternet, InfoOutputFunCallback info, ProgressFunCallback single,
                    ProgressFunCallback total);
    bool initNet();

    // Log (UpdateLog.cpp).
    void SetLog(unsigned flags, const wchar_t* pText, ...);
    void SetLogV(unsigned flags, const wchar_t* pText, va_list args);
    bool InitLogSystem();
    void CloseLog(bool keepLog);
    bool IsLogOpen() const { return m_hLogFile != INVALID_HANDLE_VALUE; }
    std::wstring GetLogPath() const;

    // Callbacks and progress.
    void SetInfoOutputCallback(InfoOutputFunCallback func);
    void SetSingleProgressCallback(ProgressFunCallback func);
    void SetTotalProgressCallback(ProgressFunCallback func);
    void Progress(int kind, float value);

    // Local configuration (UpdateCfg.cpp).
    bool initBasic();
    bool ParseUpdateCfg(const char* pPath);
    bool ParseLocalUpdateInfo(const char* pPath);
    std::string GetLocalVersionStr() const { return m_strCurVersion; }
    bool SaveVersions();
    bool SaveLocalConfig();

    // Transfer (transfer/UnZip.cpp, transfer/PatchDownload.cpp).
    bool UnZipFile(const std::wstring& zipPath, const std::wstring& destDir, bool isManualPak,
                   float progressFrom, float progressTo);
    std::uint32_t DownloadOneFile(const std::string& url, bool isRetry, const std::string& s1,
                                  const std::string& s2, const std::string& s3, std::string localPath,
                                  bool showProgress);
    int DownloadAllPatchFiles(float progressFrom, float progressTo);
    static void ShowDownloadProgress(std::uint32_t total, std::uint32_t received, std::uint32_t speed);
    bool NewSaveCurDownloadedFileList();

    // Installation (transfer/Setup.cpp).
    bool Setup(float progressFrom, float progressTo);
    bool InstallPackage(float progressFrom, float progressTo);
    void DeleteTempFiles(float, float);
    void DeleteFilesInDir(const std::wstring& dir);
    void Rollback(float, float);
    // Undoes an installation that a crash cut short; true when there was one.
    bool RecoverInstallation();

    // Window and run state.
    HWND m_hWnd = nullptr;
    bool m_bInitialized = false;
    bool m_bInternetUpdate = true;
    unsigned m_nRunMode = RUNMODE_AUTO;
    unsigned m_nFinished = 0;
    std::wstring m_strTempDir = L"PatchCfg\\PatchTemp\\";

    std::vector<InfoOutputFunCallback> m_vecInfoOutput;
    ProgressFunCallback m_SingleProgressFunc = nullptr;
    ProgressFunCallback m_TotalProgressFunc = nullptr;
    // Also receives every log-file text (the console tools print them).
    InfoOutputFunCallback m_FileLogEcho = nullptr;

    // Local configuration record.
    std::string m_strNormalURL;
    std::string m_strTestUpdateURL;
    std::string m_strTestRollbackURL;
    std::string m_strLastVersion;
    std::string m_strCurVersion;
    std::string m_strClientVer;
    std::string m_strDownloadedFileVersion;
    std::vector<std::string> m_vecUpdateInfoURL;
    std::vector<std::string> m_vecBasePackURL;
    std::vector<std::string> m_vecBasePackFile;
    std::string m_strLinkServerIP;
    std::vector<int> m_vecLinkServerPort;

    // Target and plan of the current run; SaveVersions installs its interversion.
    std::string m_strServerVersion;
    std::string m_strPatchBaseURL;
    SRevision m_Plan;
    std::string m_strPackagePath;  // the downloaded package, installed from here
    std::string m_strManualPatchPath;  // package of the last manual patch; never cleared
    int m_nInstallError = 0;       // EInstallError of the last installation
    CInstallJournal m_Journal;

    // Stop protocol: false while a download loop runs; a stop request sets it.
    std::atomic<bool> m_bDownloadDone{true};
    Base::Utility::CKernelHandle m_hStopEvent;  // manual reset, "StopDownload"

    CINetDownLoad InetDownload;

    struct SDownloadRecord {
        bool selected = false;
        bool downloaded = false;
        std::string fileName;
        std::string md5;
        std::string size;
    };
    std::vector<SDownloadRecord> m_vecDownloadRecord;

private:
    void WriteLogText(const std::wstring& text);

    HANDLE m_hLogFile = INVALID_HANDLE_VALUE;
    Base::System::ZSemiAutoIntLock m_logLock;

    TiXmlDocument m_docUpdateCfg;
    std::string m_strUpdateCfgPath;  // the plain name asked for, where saves go
    bool m_bUpdateCfgLoaded = false;
    TiXmlText* m_pLastVersionNode = nullptr;
    TiXmlText* m_pCurVersionNode = nullptr;
    TiXmlText* m_pClientVerNode = nullptr;
    TiXmlText* m_pDownloadedFileVersionNode = nullptr;
};

extern CUpdateEngine* g_pUpdateEngine;
