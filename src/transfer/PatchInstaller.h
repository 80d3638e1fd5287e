// Installs one patch package into the game directory: unpack its zip
// resource into the temp directory, copy (or delete) the files of its list,
// verify them by MD5 and write the package's versions.
#pragma once

#include <atomic>

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "FileList.h"
#include "InstallError.h"
#include "InstallJournal.h"
#include "LogSink.h"
#include "base/system/ZLock.h"


// Progress in per mille: 0-300 unpacking, 300-700 copying, 700-1000
// verifying, 101 at the end; 0 again on a copy error.
typedef std::function<void(std::uint32_t permille)> ProgressSink;

class CPatchInstaller {
public:
    enum { STATE_NEW = 0, STATE_UNPACKED = 1, STATE_COPYING = 2, STATE_FINISHED = 4 };
    // The package's versions, as its file list names them.
    enum EVersionSlot { VERSION_INTERNAL = 0, VERSION_MIDDLE = 1, VERSION_FROM = 2, VERSION_SLOTS = 3 };

    CPatchInstaller(CInstallJournal& journal);
    CPatchInstaller(const CPatchInstaller&) = delete;
    CPatchInstaller& operator=(const CPatchInstaller&) = delete;

    // The owner of the installer's message boxes (may be null).
    void SetWindow(HWND hWnd) { m_hWnd = hWnd; }
    // How long a file in use is waited for, and who hears that it is.
    void SetLockWait(const SLockWait& wait) { m_journal.SetLockWait(wait); }
    // After INSTALL_FILE_LOCKED: the file, and the programs that held it ("" when unknown).
    const std::wstring& LockedPath() const { return m_lockedPath; }
    const std::wstring& LockHolders() const { return m_lockHolders; }
    void SetLogSink(LogSink sink) { m_log = std::move(sink); }
    void SetProgressSink(ProgressSink sink) { m_progressSink = std::move(sink); }
    void SetGameDir(const std::wstring& dir) { m_gameDir = dir; }
    void SetFaults(InstallFaults faults) { m_faults = std::move(faults); }
    // What it unpacks goes to a volume that fills up at this budget (null: as it is).
    void SetDiskBudget(class CDiskBudget* budget) { m_diskBudget = budget; }
    void SetTempDir(const std::wstring& dir);  // created with its parents
    void SetPackage(const std::wstring& path) { m_package = path; }
    // The step the package was fetched for: its own versions must be these.
    void SetExpectedStep(const std::string& from, const std::string& to)
    {
        m_expectedFrom = from;
        m_expectedTo = to;
    }

    bool ExtractPackage();
    bool CopyFiles();
    bool VerifyFiles();
    bool WriteVersions(const std::wstring& cfgPath);

    // Deletes what this package unpacked into the temp directory and is still
    // there, and the folders that leaves empty: a failed installation leaves
    // no partial unpack to fill the disk.
    void DiscardUnpacked();

    unsigned State();
    EInstallError Error() const { return m_error; }
    std::uint32_t ItemCount() const { return m_itemCount; }
    const std::wstring& InternalVersion() const { return m_versions[VERSION_INTERNAL]; }

private:
    void SetState(unsigned state);
    void SendProgress(std::uint32_t permille);
    bool Fail(EInstallError error, const wchar_t* logFormat, const std::wstring& detail);
    void Log(const std::wstring& line) const;
    bool Unpack();
    // False (disk full, with "need N MiB more" in the log) when the temp
    // directory's volume cannot take bytes more and a margin.
    bool HasSpaceFor(std::uint64_t bytes, const std::wstring& what);
    static const std::uint64_t kSpaceMargin = 1u << 20;
    // Files whose journal lines go to the disk with one flush.
    static const size_t kJournalBatch = 512;
    static const size_t kParallelMovesFrom = 16;
    // Moves mostly wait on the file system: more threads than cores.
    static const unsigned kFileThreads = 4;
    // The unpacked file list, and its versions against the step and the installation.
    bool ReadFileList(const std::wstring& path, struct SPackageFileList* list);
    bool CheckPaths();
    bool CheckUnpackedDigests();
    // Turns each unpacked delta into its result in the temp directory, before
    // anything in the game directory changes.
    bool ApplyDeltas();
    bool UnpackSolidBundle(const std::wstring& plainPath);
    bool CollectDeltaJobs(std::vector<struct SDeltaJob>* jobs);
    bool RunDeltaJobs(std::vector<struct SDeltaJob>& jobs, const std::wstring& solidPath);
    bool AcceptDeltaResults(std::vector<struct SDeltaJob>& jobs);
    // Relative to the game directory; the running launcher is replaced at its next start.
    static std::wstring TargetOf(const SFileListItem& item);
    bool FaultAt();

    CInstallJournal& m_journal;
    HWND m_hWnd = nullptr;
    LogSink m_log;
    ProgressSink m_progressSink;
    std::wstring m_gameDir;
    std::wstring m_tempDir;
    std::wstring m_package;
    std::string m_expectedFrom, m_expectedTo;
    bool m_bExtracted = false;
    CFileList m_copyList, m_verifyList, m_spareList;
    unsigned m_state = STATE_NEW;
    Base::System::ZSemiAutoIntLock m_lock;
    std::uint32_t m_progress = 0;
    std::uint32_t m_itemCount = 0;
    std::wstring m_versions[VERSION_SLOTS];
    std::set<std::wstring> m_unpacked;  // lower-cased paths this package brought
    std::vector<std::wstring> m_unpackedPaths;  // where each entry was unpacked to
    std::map<std::wstring, std::string> m_unpackedMd5;  // by key: the digest of what goes into the game
    std::set<std::wstring> m_moved;     // of those, the ones moved into the game
    EInstallError m_error = INSTALL_OK;
    std::wstring m_lockedPath, m_lockHolders;
    std::atomic<unsigned> m_step{0};
    InstallFaults m_faults;
    class CDiskBudget* m_diskBudget = nullptr;
};
