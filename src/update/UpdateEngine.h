// The update engine: one object that loads the local configuration, runs
// updates on worker threads, logs every step and reports to the window.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "ChunkReport.h"
#include "FetchRoute.h"
#include "Outcome.h"
#include "RunResult.h"
#include "SignatureCheck.h"
#include "TransferPolicy.h"
#include "UpdateInfoRecord.h"
#include "base/system/ZLock.h"
#include "base/utility/WinHandle.h"
#include "transfer/INetDownLoad.h"
#include "transfer/InstallError.h"
#include "transfer/InstallJournal.h"
#include "transfer/LogSink.h"
#include "transfer/Revision.h"

// Report targets of SetLog, a bit set.
enum : unsigned {
    LOG_TO_FILE = 1,
    LOG_TO_INFO = 2,
};

// What the engine is doing; names the .err file of an unfinished run.
enum ERunMode : unsigned {
    RUNMODE_GET_ALL_UPDATEINFO = 0,
    RUNMODE_AUTO = 1,
    RUNMODE_MANUAL_PATCH = 2,
    RUNMODE_AUTO_REPAIR = 3,
};

// The bar a Progress call moves.
enum EProgressKind : int {
    PROGRESS_SINGLE = 4,  // the current file
    PROGRESS_TOTAL = 8,   // the whole run
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

    // Start operations of the window (UpdateThreads.cpp); each starts one
    // worker thread and says whether it did.
    bool StartAutopatch();
    bool StartUpdate(bool bTelecom, unsigned index);
    bool StartManualPatch(const std::string& path);
    // Checks the installation against its version's manifest on the chunk
    // store of the given patch server and line; with repair its missing and
    // damaged files are restored (a repair always hashes every byte).
    bool StartRepair(bool bTelecom, unsigned index, bool repair, bool full);
    void StopDownload();
    bool StartDownloadBasePack1() { return StartBasePackThread(1, true); }
    bool StartDownloadBasePack2() { return StartBasePackThread(2, true); }
    bool StartUnzipBasePack1() { return StartBasePackThread(1, false); }
    bool StartUnzipBasePack2() { return StartBasePackThread(2, false); }
    // The thread of the last start operation (waitable; never joined).
    HANDLE WorkerHandle() const { return m_hWorker.Get(); }
    // How the last run ended and why it failed.
    const CRunResult& Result() const { return m_Result; }
    EWorkerOutcome Outcome() const { return m_Result.Outcome(); }
    EFault Fault() const { return m_Result.Fault(); }
    // Why the last run failed, in the words a player can act on; what is
    // missing of an incomplete installation (the files' names; the log says more).
    EFailureCause FailureCause() const { return m_Result.Cause(m_bInitialized); }
    const std::wstring& FailureDetail() const { return m_Result.FailureDetail(); }
    // Records why the run fails; the first fault of a run stays.
    void Fault(EFault fault) { m_Result.Fault(fault); }
    void ClearFault() { m_Result.Clear(); }
    // A download loop runs (a stop request would wait for it).
    bool IsDownloading() const { return !m_bDownloadDone; }

    std::string GetLatestVersion() const { return m_strLatestVersion; }
    size_t GetPatchServerCount() const { return m_vecPatchServer.size(); }
    std::string GetBasePackFile(int index) const
    {
        return index >= 0 && static_cast<size_t>(index) < m_vecBasePackFile.size() ? m_vecBasePackFile[index] : "";
    }

    // Update information (UpdateInfo.cpp) and plan (PatchPlan.cpp).
    EStepResult DownLoadParseUpdateInfo(const std::string& url);
    EStepResult ParseUpdateInfoFile(const char* pPath);
    // The expected entries of the archive into the temp directory, each capped.
    bool UnpackUpdateInfo(const std::wstring& archive);
    void PreparePlan(const SPatchServer& server, bool bTelecom);
    EStepResult DownLoadParseCmpFile();

    // Sends the main window a message (nothing without a window).
    void Notify(UINT message);

    // Worker bodies.
    void GetAllUpdateInfoThread();
    void AutoUpdateThread();
    void ManualPatchThread(const std::string& path);

    // Log (UpdateLog.cpp).
    void SetLog(unsigned flags, const wchar_t* pText, ...);
    void SetLogV(unsigned flags, const wchar_t* pText, va_list args);
    bool InitLogSystem();
    void CloseLog(bool keepLog);
    bool IsLogOpen() const { return m_hLogFile.Valid(); }
    std::wstring GetLogPath() const;
    // Writes each line it gets to the log file.
    LogSink FileLogSink();

    // Callbacks and progress.
    void SetInfoOutputCallback(InfoOutputFunCallback func);
    void SetSingleProgressCallback(ProgressFunCallback func);
    void SetTotalProgressCallback(ProgressFunCallback func);
    void Progress(EProgressKind kind, float value);

    // Local configuration (UpdateCfg.cpp).
    bool initBasic();
    bool ParseUpdateCfg(const char* pPath);
    bool ParseLocalUpdateInfo(const char* pPath);
    // Loads an XML file within the size and depth bounds; logs why one is refused.
    bool LoadBoundedXml(TiXmlDocument& doc, const char* pPath);
    // Reads an update-information file within its bounds; logs why one is refused.
    bool LoadUpdateInfoRecord(const char* pPath, SUpdateInfoRecord* r);
    std::string GetLocalVersionStr() const { return m_strCurVersion; }
    // Writes newVersion as the installed version (the one the package installed).
    bool SaveVersions(const std::string& newVersion);
    // Logs a refused size, depth or count and records the fault.
    void BoundExceeded(const std::wstring& what, const std::string& why);
    bool SaveLocalConfig();

    // Patch download (PatchDownload.cpp).
    // The received size, 0 on failure (with its log line); localPath is
    // UTF-8; an empty one takes the address's last piece, a plain file name,
    // in the temp directory. *result (when given) gets the downloader's code.
    std::uint32_t DownloadOneFile(const std::string& url, bool isRetry, const std::string& s1,
                                  const std::string& s2, const std::string& s3, std::string localPath,
                                  bool showProgress, const SDownloadLimits& limits = SDownloadLimits(),
                                  EDownloadResult* result = nullptr);
    EStepResult DownloadAllPatchFiles(float progressFrom, float progressTo);
    // The package from the chosen patch server, then from the others of its
    // version; its name fenced first.
    EStepResult FetchFromServers(const SPackageFile& package, const class CStopGuard& guard);
    // The package from one patch server: STEP_SUCCEEDED once it is on disk
    // and accepted, STEP_DOWNLOAD_FAILED or STEP_PACKAGE_MISMATCH with *why
    // set when another server may do better (empty for a local failure),
    // STEP_STOPPED on a stop request. A refused package is fetched once more
    // from zero before the server is left.
    EStepResult FetchPackageFrom(const std::string& baseUrl, const SPackageFile& package, const std::string& localPath,
                                 std::wstring* why);
    // Every check of a downloaded package before anything of it is unpacked;
    // false (with its log line, fault and *why) refuses it, which moves the
    // download on like a failed transfer.
    // False with *folder the first folder of the installation this user may not write.
    bool CanWriteInstallation(std::wstring* folder);
    bool AcceptDownloadedPackage(const std::string& localPath, const SPackageFile& package, std::wstring* why);
    static void ShowDownloadProgress(std::uint32_t total, std::uint32_t received, std::uint32_t speed);
    bool NewSaveCurDownloadedFileList();

    // Unpacking (UnZip.cpp).
    bool UnZipFile(const std::wstring& zipPath, const std::wstring& destDir, bool isManualPak,
                   float progressFrom, float progressTo);

    // Installation (Setup.cpp).
    bool Setup(float progressFrom, float progressTo);
    bool InstallPackage(float progressFrom, float progressTo);
    // After a delta package found an installed file that is not its base:
    // the step's whole-file package, fetched and installed instead.
    bool InstallWholePackage();
    void DeleteTempFiles(float, float);
    void DeleteFilesInDir(const std::wstring& dir);
    void Rollback(float, float);
    // Undoes an installation that a crash cut short. A damaged journal keeps
    // every backup and is logged as needing repair.
    ERecovery RecoverInstallation();
    void NeedsRepair(const std::wstring& why);

    // Signatures (Signature.cpp). With trusted keys configured, fetches
    // url + ".minisig" and verifies the downloaded localFile against it; a
    // refused file is deleted and the fault recorded. True when verified or
    // when no key is configured. Update information must also be no older
    // than the last accepted; SaveInfoTimestamp records it once accepted.
    // A manifest (fresh) must also be unexpired and not below the accepted
    // sequence number; *comment gets the verified trusted comment.
    bool VerifyDownload(const std::string& url, const std::wstring& localFile, bool updateInfo, bool fresh = false,
                        std::string* comment = nullptr);
    // A package opened by hand (or given to updater install): with trusted
    // keys, PACKAGE.minisig must lie beside it and name it.
    bool VerifyLocalPackage(const std::wstring& package);
    bool SaveInfoTimestamp();
    const CSignatureCheck& Signatures() const { return m_Signatures; }

    // Base packs (BasePack.cpp).
    // Where base pack index (0 or 1) is downloaded to and unpacked from, in
    // the temp directory; "" when none is named or its name is refused.
    std::wstring BasePackPath(int index) const;
    void DownloadBasePack(int pack);
    void UnzipBasePack(int pack);

    // Window and run state.
    HWND m_hWnd = nullptr;
    bool m_bInitialized = false;
    bool m_bInternetUpdate = true;
    ERunMode m_nRunMode = RUNMODE_AUTO;
    unsigned m_nFinished = 0;            // 1 once the run ended well
    std::wstring m_strTempDir = L"PatchCfg\\PatchTemp\\";

    std::vector<InfoOutputFunCallback> m_vecInfoOutput;
    ProgressFunCallback m_SingleProgressFunc = nullptr;
    ProgressFunCallback m_TotalProgressFunc = nullptr;
    // Also gives every log-file text to echo (the console tools print them).
    void SetLogEcho(InfoOutputFunCallback echo) { m_FileLogEcho = echo; }

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
    std::string m_strInstallDir;  // the current directory at Initialize, with a backslash (UTF-8)

    // Target and plan of the current run; SaveVersions installs its interversion.
    std::string m_strServerVersion;
    std::string m_strPatchBaseURL;
    SRevision m_Plan;
    std::string m_strPackagePath;  // the downloaded package, installed from here (UTF-8)
    std::string m_strManualPatchPath;  // package of the last manual patch (UTF-8); never cleared
    // Of the last chunk-store update, verify or repair.
    const SChunkReport& ChunkReport() const { return m_ChunkReport; }

    CINetDownLoad InetDownload;
    // Stall, rate, proxy and pauses over the configuration's; the wait for a locked file.
    CTransferPolicy& Transfer() { return m_Transfer; }
    // Where the run's package comes from and which step it must make.
    CFetchRoute& Route() { return m_Route; }
    // Given to every installation of this engine (tests break one half-way).
    void SetInstallFaults(InstallFaults faults) { m_InstallFaults = std::move(faults); }
    // Its downloads and installations write to a volume that fills up at this
    // budget (null: as it is; tests fill the disk with it).
    void SetDiskBudget(class CDiskBudget* budget)
    {
        m_pDiskBudget = budget;
        InetDownload.SetDiskBudget(budget);
    }

    struct SDownloadRecord {
        bool selected = false;
        bool downloaded = false;
        std::string fileName;
        std::string md5;
        std::string size;
    };
    std::vector<SDownloadRecord> m_vecDownloadRecord;

private:
    friend class CStopGuard;
    friend class CChunkUpdate;

    InfoOutputFunCallback m_FileLogEcho = nullptr;
    SChunkReport m_ChunkReport;
    CRunResult m_Result;
    CSignatureCheck m_Signatures;
    CTransferPolicy m_Transfer{InetDownload};
    CFetchRoute m_Route;
    InstallFaults m_InstallFaults;
    class CDiskBudget* m_pDiskBudget = nullptr;
    CInstallJournal m_Journal;
    std::string m_strInstalledVersion;  // what the last installation installed

    void WriteLogText(const std::wstring& text);
    bool ApplyTransferSettings(const struct SUpdateCfgRecord& r);
    // sigBytes (null when there is none: missing says why) against file, whose
    // signature must name it; label names it in the log.
    bool CheckSignature(const std::string* sigBytes, const wchar_t* missing, const std::wstring& file,
                        const std::string& name, bool updateInfo, const std::wstring& label, bool fresh = false,
                        std::string* comment = nullptr);
    bool StartBasePackThread(int pack, bool download);
    bool StartWorker(std::function<void()> body);
    void EnsureLogOpen();
    // Up to four attempts, while no stop request comes; the size received
    // (0 when every attempt failed, *code then the downloader's last code).
    std::uint32_t DownloadWithRetries(const std::string& url, const std::string& localPath,
                                      const SDownloadLimits& limits, EDownloadResult* code = nullptr);
    // Why a server's transfer failed, for the log; "" when the failure is ours.
    std::wstring TransferFailureText(EDownloadResult code) const;

    Base::Utility::CKernelHandle m_hWorker;

    // The stop protocol (StopGuard.h): false while a download loop runs.
    std::atomic<bool> m_bDownloadDone{true};
    std::atomic<bool> m_bCancelTransfer{false};  // ends a running transfer
    Base::Utility::CKernelHandle m_hStopEvent;  // manual reset, "StopDownload"
    Base::Utility::CKernelHandle m_hCancelWake;  // manual reset: set by a stop request, ends a pause

    bool m_bLogStarted = false;  // the log was truncated once in this process
    Base::Utility::CFileHandle m_hLogFile;
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
