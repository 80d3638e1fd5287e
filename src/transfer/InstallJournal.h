// Undo of an installation. Before the installer replaces, deletes or creates
// anything in the game directory it writes a line to a journal, flushed to
// the disk before the change it announces, and keeps the old file in a
// backup directory; a failed installation, or one cut short by a crash or a
// power cut, is rolled back from them. After a complete installation the
// journal is committed and the backups go. Recovery restores only what the
// journal proves and never deletes a backup it did not restore: a journal
// it cannot read keeps everything, and the installation needs repair.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "LockedFile.h"
#include "base/utility/WinHandle.h"

enum ERecovery {
    RECOVERY_NOTHING,  // no journal, no backups
    RECOVERY_DONE,     // rolled back, or a committed journal cleaned up
    RECOVERY_DAMAGED,  // nothing was deleted: the installation needs repair
};

class CInstallJournal {
public:
    // Gets each path the undo restored or deleted (ignored null), and each
    // line it ignored because nothing proves the file is the installation's
    // (ignored says why).
    typedef std::function<void(const std::wstring& path, const wchar_t* ignored)> Logger;

    // gameDir ends with a backslash; may be empty for the current directory.
    explicit CInstallJournal(const std::wstring& gameDir = L"");

    std::wstring BackupDir() const { return m_gameDir + L"PatchCfg\\PatchBackup\\"; }
    std::wstring JournalPath() const { return BackupDir() + L"journal.txt"; }

    // Starts a journal after recovering what an earlier run left; false when
    // that recovery found damage (*why says what) or the journal cannot be made.
    bool Begin(std::wstring* why = nullptr);
    bool IsOpen() const { return m_file.Valid(); }

    // Before `rel` (relative to the game directory) is replaced or deleted:
    // its directories are created (and noted), an existing file is moved to
    // the backup directory, a missing one is noted as new with placedMd5, the
    // digest of the file about to be put there ("" when none will be), which
    // an undo checks before it deletes. After this the target path is free.
    bool MoveAside(const std::wstring& rel, const std::string& placedMd5 = "");
    // The same for many files with one write to the journal and one flush:
    // every line is on the disk before the first change, and the undo of a
    // line whose change never happened does nothing. False with *failed the
    // index of the file whose change failed (GetLastError tells why).
    struct SPlacement {
        std::wstring rel;
        std::string placedMd5;
        bool mayFail = false;  // a deletion: a file that cannot be moved aside stays
    };
    bool MoveAsideAll(const std::vector<SPlacement>& files, size_t* failed);
    // How long a file that another program holds open is waited for.
    void SetLockWait(const SLockWait& wait) { m_lockWait = wait; }
    // The same, but the file stays in place (a copy is kept).
    bool KeepCopy(const std::wstring& rel);

    // The installation is complete: nothing will be undone.
    bool Commit();
    // Undoes everything noted, newest first, and removes journal and backups.
    ERecovery Rollback(const Logger& log, std::wstring* why = nullptr);

    // A journal left by a run that did not finish: roll it back (or, when it
    // was committed, only clean up).
    // A file locked again is waited for lockWaitMs (short: this runs before
    // the window answers).
    static ERecovery Recover(const std::wstring& gameDir, const Logger& log, std::wstring* why = nullptr,
                             DWORD lockWaitMs = 5000);

private:
    bool Note(wchar_t kind, const std::wstring& rel, const std::string& md5Hex = "");
    bool WriteLine(const std::string& line);
    bool CreateDirectoriesFor(const std::wstring& rel);
    void Close();
    void MakeBackupDirectory(const std::wstring& dir);

    std::wstring m_gameDir;
    Base::Utility::CFileHandle m_file;
    std::set<std::wstring> m_noted;      // paths already saved in this run
    std::set<std::wstring> m_knownDirs;  // directories known to exist
    SLockWait m_lockWait;
    // Below this many files a second thread costs more than it saves.
    static const size_t kParallelFrom = 16;
    // Moves and deletions mostly wait on the file system: more threads than cores.
    static const unsigned kThreads = 4;
};
