#include "InstallJournal.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "Directories.h"
#include "JournalText.h"
#include "Md5File.h"
#include "PathFence.h"
#include "base/utility/ParallelFor.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"

using Base::Utility::AsciiLower;
using Base::Utility::Utf8ToWide;

namespace {

bool ReadWhole(const std::wstring& path, std::string* bytes, DWORD* error)
{
    Base::Utility::CFileHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) {
        *error = GetLastError();
        return false;
    }
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f.Get(), buf, sizeof buf, &got, nullptr) && got > 0) {
        bytes->append(buf, got);
        if (bytes->size() > kMaxJournalBytes) break;
    }
    return true;
}

// Files below dir other than skip, as paths.
std::vector<std::wstring> FilesBelow(const std::wstring& dir, const std::wstring& skip)
{
    std::vector<std::wstring> files;
    WalkDirectory(dir, [&](const std::wstring& path) {
        if (_wcsicmp(path.c_str(), skip.c_str()) != 0) files.push_back(path);
    });
    return files;
}

// What the installation itself may touch: the game's files, and of its own
// only the local configuration, whose copy it keeps.
bool MayUndo(const SJournalLine& line)
{
    if (FenceName(line.path, NAME_PACKAGE_TARGET) == NAME_OK) return true;
    return line.kind == 'K' && _stricmp(line.path.c_str(), "PatchCfg\\NewUpdateCfg.xml") == 0;
}

// Undoes one line, newest first; false (with *damage) when a restore fails.
bool UndoLine(const SJournalLine& line, const std::wstring& gameDir, const std::wstring& backupDir,
              const CInstallJournal::Logger& log, DWORD lockWaitMs, std::wstring* damage)
{
    const std::wstring rel = Utf8ToWide(line.path);
    const std::wstring target = gameDir + rel;
    const std::wstring backup = backupDir + rel;
    auto ignore = [&](const wchar_t* why) {
        if (log) log(rel, why);
        return true;
    };
    if (!MayUndo(line)) return ignore(L"the engine's own file: not undone, backups kept");
    switch (line.kind) {
    case 'B':
    case 'K':
        // A missing backup of a B line: the move never happened.
        if (!FileExists(backup)) break;
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        // A file locked again while undoing is waited for, within a bound.
        if (!RetryWhileLocked(target, SLockWait{lockWaitMs, nullptr}, [&] {
                return MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
            })) {
            *damage = L"cannot restore " + rel + L", error " + std::to_wstring(GetLastError());
            return false;
        }
        if (log) log(rel, nullptr);
        break;
    case 'N':
        if (!FileExists(target)) break;
        // Only the file the installation put there goes.
        if (line.digest.empty()) return ignore(L"nothing was to be written there: left in place");
        if (FileMd5Hex(target) != line.digest) return ignore(L"not the file the installation wrote: left in place");
        if (DeleteFileForced(target) && log) log(rel, nullptr);
        break;
    case 'D':
        RemoveDirectoryW(target.c_str());
        break;
    default:
        break;
    }
    return true;
}

ERecovery Damaged(std::wstring* why, const std::wstring& text)
{
    if (why) *why = text;
    return RECOVERY_DAMAGED;
}

}  // namespace

CInstallJournal::CInstallJournal(const std::wstring& gameDir) : m_gameDir(gameDir) {}

bool CInstallJournal::Begin(std::wstring* why)
{
    Close();
    m_noted.clear();
    m_knownDirs.clear();
    // Whatever an earlier run left is undone before anything new is noted.
    if (Recover(m_gameDir, Logger(), why) == RECOVERY_DAMAGED) return false;
    MakeDirectories(BackupDir());
    // The header is on the disk before the journal has its name, so that a
    // journal without it is damage, not a power cut at the start.
    const std::wstring fresh = BackupDir() + L"journal.new";
    {
        Base::Utility::CFileHandle f(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(std::strlen(kJournalHeader));
        if (!f || !WriteFile(f.Get(), kJournalHeader, size, &written, nullptr) || written != size ||
            !FlushFileBuffers(f.Get()))
            return false;
    }
    if (!MoveFileExW(fresh.c_str(), JournalPath().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    m_file.Reset(CreateFileW(JournalPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_file.Valid();
}

bool CInstallJournal::Note(wchar_t kind, const std::wstring& rel, const std::string& md5Hex)
{
    return WriteLine(
        JournalLine(static_cast<char>(kind), Base::Utility::WideToUtf8(Base::Utility::WithBackslashes(rel)), md5Hex));
}

bool CInstallJournal::WriteLine(const std::string& line)
{
    if (!m_file) return false;
    // On the disk before the change it announces.
    return WriteAllBytes(m_file.Get(), line.data(), static_cast<DWORD>(line.size())) && FlushFileBuffers(m_file.Get());
}

bool CInstallJournal::CreateDirectoriesFor(const std::wstring& rel)
{
    for (size_t i = 0; i < rel.size(); ++i) {
        if (rel[i] != L'\\' && rel[i] != L'/') continue;
        const std::wstring dir = rel.substr(0, i);
        const std::wstring key = AsciiLower(dir);
        if (m_knownDirs.count(key)) continue;
        m_knownDirs.insert(key);
        if (DirectoryExists(m_gameDir + dir)) continue;
        if (!Note(L'D', dir)) return false;
        if (!CreateDirectoryW((m_gameDir + dir).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return true;
}

bool CInstallJournal::MoveAside(const std::wstring& rel, const std::string& placedMd5)
{
    if (!CreateDirectoriesFor(rel)) return false;
    const std::wstring key = AsciiLower(rel);
    if (m_noted.count(key)) {
        // Saved once already; what is there now came from this package.
        DeleteFileForced(m_gameDir + rel);
        return true;
    }
    m_noted.insert(key);
    const std::wstring target = m_gameDir + rel;
    if (!FileExists(target)) return Note(L'N', rel, placedMd5);
    const std::wstring backup = BackupDir() + rel;
    MakeBackupDirectory(GetParentDir(backup));
    if (!Note(L'B', rel)) return false;
    return RetryWhileLocked(target, m_lockWait,
                            [&] { return MoveFileExW(target.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE; });
}

bool CInstallJournal::MoveAsideAll(const std::vector<SPlacement>& files, size_t* failed)
{
    // What each file needs, decided before anything is written.
    enum EAction { NOTHING, DELETE_PLACED, BACKUP };
    std::vector<EAction> actions(files.size(), NOTHING);
    std::vector<std::wstring> dirs;
    std::string lines;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::wstring& rel = files[i].rel;
        for (size_t k = 0; k < rel.size(); ++k) {
            if (rel[k] != L'\\' && rel[k] != L'/') continue;
            const std::wstring dir = rel.substr(0, k);
            if (!m_knownDirs.insert(AsciiLower(dir)).second || DirectoryExists(m_gameDir + dir)) continue;
            lines += JournalLine('D', Base::Utility::WideToUtf8(Base::Utility::WithBackslashes(dir)), "");
            dirs.push_back(dir);
        }
        const std::wstring key = AsciiLower(rel);
        if (!m_noted.insert(key).second) {
            actions[i] = DELETE_PLACED;  // saved once already: what is there now came from this package
            continue;
        }
        const bool exists = FileExists(m_gameDir + rel);
        actions[i] = exists ? BACKUP : NOTHING;
        lines += JournalLine(exists ? 'B' : 'N', Base::Utility::WideToUtf8(Base::Utility::WithBackslashes(rel)),
                             exists ? "" : files[i].placedMd5);
    }
    *failed = 0;
    if (!lines.empty() && !WriteLine(lines)) return false;
    for (const std::wstring& dir : dirs)
        if (!CreateDirectoryW((m_gameDir + dir).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    for (size_t i = 0; i < files.size(); ++i)
        if (actions[i] == BACKUP) MakeBackupDirectory(GetParentDir(BackupDir() + files[i].rel));
    // The saves run on several threads; a file listed twice is deleted after
    // all of them, once its first listing has saved what was there.
    std::mutex telling;
    SLockWait wait = m_lockWait;
    if (wait.onWait)
        wait.onWait = [&](const std::wstring& path) {
            std::lock_guard<std::mutex> one(telling);
            m_lockWait.onWait(path);
        };
    std::vector<DWORD> errors(files.size(), 0);
    *failed = Base::Utility::ParallelFor(files.size(), kParallelFrom, [&](size_t i) {
        if (actions[i] != BACKUP) return true;
        const std::wstring target = m_gameDir + files[i].rel, backup = BackupDir() + files[i].rel;
        const bool moved = RetryWhileLocked(target, files[i].mayFail ? SLockWait{0, nullptr} : wait, [&] {
            return MoveFileExW(target.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        });
        errors[i] = moved ? 0 : GetLastError();
        return moved || files[i].mayFail;
    }, kThreads);
    for (size_t i = 0; i < *failed; ++i)
        if (actions[i] == DELETE_PLACED) DeleteFileForced(m_gameDir + files[i].rel);
    if (*failed == files.size()) return true;
    SetLastError(errors[*failed]);
    return false;
}

bool CInstallJournal::KeepCopy(const std::wstring& rel)
{
    const std::wstring key = AsciiLower(rel);
    if (m_noted.count(key)) return true;
    m_noted.insert(key);
    const std::wstring target = m_gameDir + rel;
    if (!FileExists(target)) return CreateDirectoriesFor(rel) && Note(L'N', rel);
    const std::wstring backup = BackupDir() + rel;
    MakeBackupDirectory(GetParentDir(backup));
    // The copy is complete before the line that promises it.
    return CopyFileW(target.c_str(), backup.c_str(), FALSE) && Note(L'K', rel);
}

void CInstallJournal::MakeBackupDirectory(const std::wstring& dir)
{
    const std::wstring key = L"|" + AsciiLower(dir);
    if (m_knownDirs.count(key)) return;
    m_knownDirs.insert(key);
    MakeDirectories(dir);
}

void CInstallJournal::Close() { m_file.Reset(); }

bool CInstallJournal::Commit()
{
    const bool noted = WriteLine("C\n");
    Close();
    m_noted.clear();
    if (!noted) return false;
    // The journal goes last: a crash in between finds it committed and
    // finishes the clean-up.
    std::vector<std::wstring> files, dirs;
    WalkDirectory(BackupDir(), [&](const std::wstring& path) { files.push_back(path); },
                  [&](const std::wstring& dir) { dirs.push_back(dir); });
    Base::Utility::ParallelFor(files.size(), kParallelFrom, [&](size_t i) {
        if (_wcsicmp(files[i].c_str(), JournalPath().c_str()) != 0) DeleteFileForced(files[i]);
        return true;
    }, kThreads);
    DeleteFileForced(JournalPath());
    // Deepest first, the backup folder last: the walk's order.
    for (const std::wstring& dir : dirs) RemoveDirectoryW(dir.c_str());
    return true;
}

ERecovery CInstallJournal::Rollback(const Logger& log, std::wstring* why)
{
    Close();
    m_noted.clear();
    return Recover(m_gameDir, log, why, m_lockWait.totalMs);
}

ERecovery CInstallJournal::Recover(const std::wstring& gameDir, const Logger& log, std::wstring* why, DWORD lockWaitMs)
{
    CInstallJournal j(gameDir);
    const std::wstring journal = j.JournalPath();
    // A journal that never got its name was cut off before any change.
    DeleteFileForced(j.BackupDir() + L"journal.new");
    if (GetFileAttributesW(journal.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (!DirectoryExists(j.BackupDir())) return RECOVERY_NOTHING;
        if (!FilesBelow(j.BackupDir(), journal).empty())
            return Damaged(why, L"backups without a journal in " + j.BackupDir());
        RemoveEmptyDirectories(j.BackupDir(), false);
        return RECOVERY_NOTHING;
    }
    std::string bytes;
    DWORD error = 0;
    if (!ReadWhole(journal, &bytes, &error)) return Damaged(why, L"unreadable, error " + std::to_wstring(error));
    SJournalText text;
    std::string problem;
    if (!ParseJournal(bytes, &text, &problem)) return Damaged(why, Base::Utility::AnsiToWide(problem));
    const std::vector<std::wstring> left = FilesBelow(j.BackupDir(), journal);
    if (!text.committed) {
        // A backup the journal does not name means lines were lost: nothing
        // is touched, so that whoever repairs the installation finds it all.
        std::set<std::wstring> named;
        for (const SJournalLine& line : text.lines)
            if (line.kind == 'B' || line.kind == 'K') named.insert(AsciiLower(j.BackupDir() + Utf8ToWide(line.path)));
        for (const std::wstring& path : left)
            if (!named.count(AsciiLower(path))) return Damaged(why, L"a backup the journal does not name: " + path);
        for (auto it = text.lines.rbegin(); it != text.lines.rend(); ++it) {
            std::wstring damage;
            if (!UndoLine(*it, gameDir, j.BackupDir(), log, lockWaitMs, &damage)) return Damaged(why, damage);
        }
    }
    if (text.committed)
        for (const std::wstring& path : left) DeleteFileForced(path);
    DeleteFileForced(journal);
    RemoveEmptyDirectories(j.BackupDir(), false);
    return RECOVERY_DONE;
}
