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
#include "FailureCause.h"
#include "UpdateInfoRecord.h"
#include "base/system/ZLock.h"
#include "base/utility/WinHandle.h"
#include "transfer/INetDownLoad.h"
#include "transfer/InstallError.h"
#include "transfer/InstallJournal.h"
#include "transfer/LogSink.h"
#include "transfer/Minisign.h"
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

// Results of the engine's steps (update information, version comparison,
// download), with the designed numbers.
enum EStepResult : int {
    STEP_FAILED = 0,
    STEP_DOWNLOAD_FAILED = 1,  // every attempt of the download failed
    STEP_SUCCEEDED = 2,
    STEP_STOPPED = 3,          // a stop request ended the download
    STEP_EQUAL_VERSIONS = 6,   // client and server are at the same version
    STEP_PACKAGE_MISMATCH = 7, // the package is not the size or MD5 the revision table states
};

// The bar a Progress call moves.
enum EProgressKind : int {
    PROGRESS_SINGLE = 4,  // the current file
    PROGRESS_TOTAL = 8,   // the whole run
};

// How the worker of the last start operation ended, recorded before the
// window hears of it; console tools read it once the worker has ended.
enum EWorkerOutcome : int {
    OUTCOME_RUNNING = 0,               // started and not ended yet
    OUTCOME_NO_ADDRESS,                // no update-information address: nothing sent
    OUTCOME_INFO_READY,                // WM_UPDATE_INFO_READY
    OUTCOME_INFO_FAILED,               // WM_DOWNLOADED_ALLINFO_ERROR
    OUTCOME_UP_TO_DATE,                // WM_START_GAME
    OUTCOME_NO_LOCAL_VERSION,          // WM_AUTOPATCH_STOP
    OUTCOME_DOWNLOAD_FAILED,           // WM_Download_ERRORReLink
    OUTCOME_STOPPED,                   // WM_AUTOPATCH_STOP
    OUTCOME_INSTALLED,                 // WM_UPDATE_COMPLETE
    OUTCOME_INSTALL_FAILED,            // m_nInstallError tells why
    OUTCOME_BASEPACK_DOWNLOADED,       // WM_UNZIP_BASEPACK1 or 2
    OUTCOME_BASEPACK_DOWNLOAD_FAILED,  // a status text only
    OUTCOME_BASEPACK_UNPACKED,         // WM_CHECK_INSTALL
    OUTCOME_BASEPACK_UNZIP_FAILED,     // a status text only
    OUTCOME_PACKAGE_MISMATCH,          // WM_Download_ERRORReLink: not the revision table's size or MD5
    OUTCOME_NEEDS_REPAIR,              // a damaged journal: Initialize failed, backups kept
    OUTCOME_VERIFIED,                  // WM_REPAIR_DONE: the installation is its release's
    OUTCOME_DAMAGED,                   // WM_REPAIR_DONE: files missing or damaged, not repaired
    OUTCOME_REPAIRED,                  // WM_REPAIR_DONE: the missing and damaged files restored
    OUTCOME_INTERNAL_ERROR,            // WM_RUN_FAILED: the run threw; the log says what
};

// What made the last run fail, beyond its outcome; each has its own log line.
enum EFault : int {
    FAULT_NONE = 0,
    FAULT_REFUSED_NAME,    // a name from the server or a package failed the path fence
    FAULT_BOUND_EXCEEDED,  // a file, count or body of the server's was too large
    FAULT_DISK_FULL,
    FAULT_BAD_DIGEST,      // the package is not the size or MD5 the revision table states
    FAULT_NEEDS_REPAIR,    // the journal of an installation cannot be read
    FAULT_UNVERIFIED,      // a download's signature was missing or refused
    FAULT_BAD_KEYS,        // the trusted keys cannot be read unambiguously: nothing is updated
    FAULT_STALE,           // expired, or older than a publication already accepted (a replay)
    FAULT_DAMAGED,         // the installation differs from its release (verify)
    FAULT_BAD_MANIFEST,    // a manifest that does not hold together (duplicates, chunk lists, cut short)
    FAULT_BAD_CHUNK,       // a chunk whose bytes are not its id, a bundle short or wrong on every server
    FAULT_NO_MANIFEST,     // the chunk store has no manifest of the installed version
    FAULT_FILE_LOCKED,     // a file to replace stayed in use by another program
    FAULT_NOT_WRITABLE,    // the installation's folder may not be written by this user
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
    EWorkerOutcome Outcome() const { return m_Outcome; }
    EFault Fault() const { return m_Fault; }
    // Why the last run failed, in the words a player can act on
    // (FailureCause.cpp); what is missing of an incomplete installation
    // (the files' names; the log says more).
    EFailureCause FailureCause() const;
    const std::wstring& FailureDetail() const { return m_strFailureDetail; }
    // Records why the run fails; the first fault of a run stays.
    void Fault(EFault fault)
    {
        EFault none = FAULT_NONE;
        m_Fault.compare_exchange_strong(none, fault);
    }
    // A failed transfer of the run, for its cause.
    void RecordDownloadFailure(int code, DWORD httpStatus)
    {
        m_nLastDownloadResult = code;
        m_nLastHttpStatus = httpStatus;
    }
    void ClearFault()
    {
        m_Fault = FAULT_NONE;
        m_nLastDownloadResult = 0;
        m_nLastHttpStatus = 0;
        m_strFailureDetail.clear();
    }
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
                                  int* result = nullptr);
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
    bool VerifiesSignatures() const { return m_bVerifySignatures; }

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

    // Keys that downloads must be signed with (TrustedKeys); a key line that
    // does not parse still turns verification on.
    std::vector<SMinisignKey> m_vecTrustedKeys;
    bool m_bVerifySignatures = false;
    std::uint64_t m_nInfoTimestamp = 0;         // of the last accepted update information
    std::uint64_t m_nQaInfoTimestamp = 0;       // the same for the test server's (-TS)
    std::uint64_t m_nPendingInfoTimestamp = 0;  // of the update information being read
    // Sequence numbers of the last accepted publication (the test server's
    // apart) and of the update information being read.
    std::uint64_t m_nSequence = 0, m_nQaSequence = 0, m_nPendingSequence = 0;
    std::uint64_t AcceptedSequence() const { return g_bTestServer ? m_nQaSequence : m_nSequence; }

    std::string m_strLatestVersion;
    std::vector<SPatchServer> m_vecPatchServer;
    std::string m_strInstallDir;  // the current directory at Initialize, with a backslash (UTF-8)

    // Target and plan of the current run; SaveVersions installs its interversion.
    std::string m_strServerVersion;
    std::string m_strPatchBaseURL;
    // The other patch servers that offer the same version on the same line,
    // in list order: the package is fetched from them when the chosen one fails.
    std::vector<std::string> m_vecFailoverBaseURL;
    SRevision m_Plan;
    std::string m_strPackagePath;  // the downloaded package, installed from here (UTF-8)
    bool m_bPreferDelta = true;    // a step's delta package goes first
    bool m_bDeltaPackage = false;  // the downloaded package is a delta package
    std::string m_strStepFrom, m_strStepTo;  // the versions the downloaded package must go between
    std::string m_strInstalledVersion;       // what the last installation installed
    std::string m_strManualPatchPath;  // package of the last manual patch (UTF-8); never cleared
    EInstallError m_nInstallError = INSTALL_OK;  // of the last installation
    CInstallJournal m_Journal;
    // Of the last chunk-store update, verify or repair.
    const SChunkReport& ChunkReport() const { return m_ChunkReport; }

    CINetDownLoad InetDownload;
    // The stall window of transfers in ms, over the configuration's (0: the
    // configuration's, 30 s by default).
    void SetStallTimeout(DWORD ms)
    {
        m_nStallMs = ms;
        if (ms) InetDownload.SetStallRule(ms, CINetDownLoad::kDefaultStallBytes);
    }
    DWORD m_nStallMs = 0;
    // The proxy over the configuration's ("" for the configuration's; updater --proxy).
    void SetProxy(const std::wstring& proxy) { m_strProxy = proxy; }
    // Given to every installation of this engine (tests break one half-way).
    void SetInstallFaults(InstallFaults faults) { m_InstallFaults = std::move(faults); }
    // How long a file that another program holds open is waited for when installing.
    DWORD m_nLockWaitMs = 30000;
    // The rate limit of transfers in KiB/s over the configuration's (0: the
    // configuration's, none by default).
    void SetRateLimit(std::uint32_t kib)
    {
        m_nRateLimitKiB = kib;
        if (kib) InetDownload.SetRateLimit(kib * 1024);
    }
    std::uint32_t m_nRateLimitKiB = 0;
    // Pauses between the attempts of one download after a failure that time
    // may mend (no connection, a stall, a server error): doubled each time up
    // to the cap. A stop request ends a pause at once.
    void SetRetryPause(DWORD firstMs, DWORD capMs)
    {
        m_nRetryPauseMs = firstMs;
        m_nRetryPauseCapMs = capMs;
    }
    DWORD m_nRetryPauseMs = 1000;
    DWORD m_nRetryPauseCapMs = 8000;

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
    std::wstring m_strProxy;
    InstallFaults m_InstallFaults;

    void WriteLogText(const std::wstring& text);
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
                                      const SDownloadLimits& limits, int* code = nullptr);
    // Why a server's transfer failed, for the log; "" when the failure is ours.
    std::wstring TransferFailureText(int code) const;

    // The last failed download of the run (DOWNLOAD_*, 0 for none), for its cause.
    int m_nLastDownloadResult = 0;
    DWORD m_nLastHttpStatus = 0;
    std::wstring m_strFailureDetail;
    Base::Utility::CKernelHandle m_hWorker;
    std::atomic<EWorkerOutcome> m_Outcome{OUTCOME_RUNNING};
    std::atomic<EFault> m_Fault{FAULT_NONE};

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
