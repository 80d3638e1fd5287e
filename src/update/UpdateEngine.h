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

// One patch server of the update information.
struct SPatchServer {
    std::string Clientdir;
    std::string Xmlfiledir;
    int maxsize = 0;
    std::string url;        // Telecom line
    std::string unicomurl;  // Unicom line
    std::string port;
    std::string Version;
};

// Set by the "-TS" argument: the test variant of the update information.
extern int g_bTestServer;

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

    // Start operations of the window (update/UpdateThreads.cpp); each starts
    // one worker thread.
    void StartAutopatch();
    void StartUpdate(bool bTelecom, unsigned index);
    void StartManualPatch(const std::string& path);
    void StopDownload();
    void StartDownloadBasePack1() { StartBasePackThread(1, true); }
    void StartDownloadBasePack2() { StartBasePackThread(2, true); }
    void StartUnzipBasePack1() { StartBasePackThread(1, false); }
    void StartUnzipBasePack2() { StartBasePackThread(2, false); }
    // The thread of the last start operation (waitable; never joined).
    HANDLE WorkerHandle() const { return m_hWorker.Get(); }

    std::string GetLatestVersion() const { return m_strLatestVersion; }
    size_t GetPatchServerCount() const { return m_vecPatchServer.size(); }
    std::string GetBasePackFile(int index) const
    {
        return index >= 0 && static_cast<size_t>(index) < m_vecBasePackFile.size() ? m_vecBasePackFile[index] : "";
    }

    // Update information (update/UpdateInfo.cpp) and plan (update/PatchPlan.cpp).
    int DownLoadParseUpdateInfo(const std::string& url);
    int ParseUpdateInfoFile(const char* pPath);
    void PreparePlan(const SPatchServer& server, bool bTelecom);
    int DownLoadParseCmpFile();

    // Sends the main window a message (nothing without a window).
    void Notify(UINT message);

    // Worker bodies.
    void GetAllUpdateInfoThread();
    void AutoUpdateThread();
    void ManualPatchThread(const std::string& path);
    void DownloadBasePack(int pack);
    void UnzipBasePack(int pack);

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

    std::string m_strLatestVersion;
    std::vector<SPatchServer> m_vecPatchServer;
    std::string m_strInstallDir;  // the current directory at Initialize, with a backslash

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
    std::atomic<bool> m_bCancelTransfer{false};  // ends a running transfer
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
    void StartBasePackThread(int pack, bool download);
    bool StartWorker(void (*body)(CUpdateEngine*, void*), void* arg);
    void EnsureLogOpen();

    Base::Utility::CKernelHandle m_hWorker;
    bool m_bLogStarted = false;  // the log was truncated once in this process

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
