#include "InstallJournal.h"

#include <vector>

#include "Directories.h"
#include "PathCheck.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"

using Base::Utility::AsciiLower;

namespace {

// Journal lines: a kind letter, a tab and the relative path, UTF-8.
//   B  the file was moved to the backup directory: put it back
//   K  a copy of the file was kept: put it back
//   N  the file did not exist: delete it
//   D  the directory did not exist: remove it when empty
//   C  committed: keep everything
std::vector<std::pair<wchar_t, std::wstring>> ReadJournal(const std::wstring& path, bool* committed)
{
    std::vector<std::pair<wchar_t, std::wstring>> lines;
    *committed = false;
    Base::Utility::CFileHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) return lines;
    std::string bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f.Get(), buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) break;  // a line cut by a crash was never acted on
        const std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (line == "C") {
            *committed = true;
        } else if (line.size() > 2 && line[1] == '\t') {
            const std::wstring rel = Base::Utility::Utf8ToWide(line.substr(2));
            if (IsSafeRelativePath(rel)) lines.emplace_back(static_cast<wchar_t>(line[0]), rel);
        }
    }
    return lines;
}

void DeleteTree(const std::wstring& dir)
{
    WalkDirectory(dir, [](const std::wstring& path) { DeleteFileForced(path); },
                  [](const std::wstring& d) { RemoveDirectoryW(d.c_str()); });
}

}  // namespace

CInstallJournal::CInstallJournal(const std::wstring& gameDir) : m_gameDir(gameDir) {}

bool CInstallJournal::Begin()
{
    Close();
    m_noted.clear();
    m_knownDirs.clear();
    // Whatever an earlier run left is undone before anything new is noted.
    Recover(m_gameDir, Logger());
    MakeDirectories(BackupDir());
    // Unbuffered writes: a process that dies keeps every line written.
    m_file.Reset(CreateFileW(JournalPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_file.Valid();
}

bool CInstallJournal::Note(wchar_t kind, const std::wstring& rel)
{
    return WriteLine(std::string(1, static_cast<char>(kind)) + "\t" + Base::Utility::WideToUtf8(rel) + "\n");
}

bool CInstallJournal::WriteLine(const std::string& line)
{
    if (!m_file) return false;
    DWORD written = 0;
    return WriteFile(m_file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size();
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

bool CInstallJournal::MoveAside(const std::wstring& rel)
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
    if (!FileExists(target)) return Note(L'N', rel);
    const std::wstring backup = BackupDir() + rel;
    MakeBackupDirectory(GetParentDir(backup));
    if (!Note(L'B', rel)) return false;
    return MoveFileExW(target.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
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

void CInstallJournal::RemoveBackups() { DeleteTree(BackupDir()); }

bool CInstallJournal::Commit()
{
    const bool noted = WriteLine("C\n");
    Close();
    if (!noted) {
        // Commit by a file of its own when the line could not be written.
        Base::Utility::CFileHandle f(CreateFileW(JournalPath().c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!f || !WriteFile(f.Get(), "C\n", 2, &written, nullptr)) return false;
    }
    RemoveBackups();
    m_noted.clear();
    return true;
}

bool CInstallJournal::Rollback(const Logger& log)
{
    Close();
    m_noted.clear();
    return Recover(m_gameDir, log);
}

bool CInstallJournal::Recover(const std::wstring& gameDir, const Logger& log)
{
    CInstallJournal j(gameDir);
    bool committed = false;
    const std::wstring journal = j.JournalPath();
    if (GetFileAttributesW(journal.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    std::vector<std::pair<wchar_t, std::wstring>> lines = ReadJournal(journal, &committed);
    if (!committed) {
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            const std::wstring target = gameDir + it->second;
            const std::wstring backup = j.BackupDir() + it->second;
            switch (it->first) {
            case L'B':
            case L'K':
                // A missing backup of a B line: the move never happened.
                if (FileExists(backup)) {
                    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
                    MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
                    if (log) log(it->second);
                }
                break;
            case L'N':
                if (DeleteFileForced(target) && log) log(it->second);
                break;
            case L'D':
                RemoveDirectoryW(target.c_str());
                break;
            default:
                break;
            }
        }
    }
    j.RemoveBackups();
    return true;
}
