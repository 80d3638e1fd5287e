#include "ZipWrapper.h"

#include <windows.h>

#include <iowin32.h>

#include "Directories.h"
#include "FileByteSource.h"
#include "Md5.h"
#include "PathFence.h"
#include "ZipRangeIo.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"
#include "base/utility/WinHandle.h"

using Base::Utility::AnsiToWide;

namespace FileIO {

namespace {

bool IsDirectoryName(const std::string& name)
{
    return name.empty() || name.back() == '/' || name.back() == '\\';
}

// The language encoding flag: the name is UTF-8. Others are read in the
// ANSI code page, as packages always were.
const uLong kUtf8NameFlag = 0x800;

bool DecodeName(const std::string& bytes, uLong flag, std::wstring* name)
{
    if (!(flag & kUtf8NameFlag)) {
        *name = AnsiToWide(bytes);
        return true;
    }
    if (bytes.empty()) {
        name->clear();
        return true;
    }
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                      nullptr, 0);
    if (n <= 0) return false;
    name->assign(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &(*name)[0], n);
    return true;
}

// Key of the name index: slashes for backslashes, A-Z lower-cased, UTF-8.
std::string IndexKey(const std::wstring& name) { return ZipIndexKey(Base::Utility::WideToUtf8(name)); }

}  // namespace

CZipWrapper::CZipWrapper()
    : m_reader(nullptr), m_writer(nullptr), m_entryCount(0), m_buffer(kBufferSize),
      m_nameBuffer(65536), m_bIndexBuilt(false)
{
}

CZipWrapper::CZipWrapper(const wchar_t* path, int mode) : CZipWrapper() { Open(path, mode); }

CZipWrapper::~CZipWrapper() { Close(); }

bool CZipWrapper::Open(const wchar_t* path, int mode)
{
    if (path == nullptr) return false;
    Close();
    const std::wstring p = Base::Utility::WithBackslashes(std::wstring(path));

    zlib_filefunc64_def funcs;
    if (mode == MODE_READ) {
        // Read through a buffer: the zip reader fetches header fields a byte at a time.
        std::unique_ptr<CFileByteSource> file(new CFileByteSource);
        if (file->Open(p)) {
            m_range = {file.get(), 0, file->Size()};
            FillZipRangeFuncs(&funcs);
            m_reader = unzOpen2_64(&m_range, &funcs);
            if (m_reader) m_file = std::move(file);
        }
    } else {
        fill_win32_filefunc64W(&funcs);
        if (mode == MODE_CREATE) MakeDirectories(GetParentDir(p));
        m_writer = zipOpen2_64(p.c_str(), mode, nullptr, &funcs);
    }
    if (m_reader == nullptr && m_writer == nullptr) return false;
    m_path = path;
    if (m_reader) AfterOpenReader();
    return true;
}

bool CZipWrapper::OpenReader(zlib_filefunc64_def* funcs, const void* name)
{
    Close();
    m_reader = unzOpen2_64(name, funcs);
    if (m_reader == nullptr) return false;
    AfterOpenReader();
    return true;
}

void CZipWrapper::AfterOpenReader()
{
    unz_global_info64 global;
    m_entryCount = unzGetGlobalInfo64(m_reader, &global) == UNZ_OK ? static_cast<std::uint32_t>(global.number_entry) : 0;
    BuildIndex();
}

void CZipWrapper::Close()
{
    if (m_reader) unzClose(m_reader);
    if (m_writer) zipClose(m_writer, nullptr);
    m_file.reset();
    m_reader = nullptr;
    m_writer = nullptr;
    m_entryCount = 0;
    m_index.clear();
    m_vecFiles.clear();
    m_undecodable.clear();
    m_bIndexBuilt = false;
    m_path.clear();
}

bool CZipWrapper::ReadCurrentInfo(unz_file_info64& info, std::string& name)
{
    // Names are read whole: a cut name would land the file somewhere else.
    if (unzGetCurrentFileInfo64(m_reader, &info, m_nameBuffer.data(), static_cast<uLong>(m_nameBuffer.size()),
                                nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    name.assign(m_nameBuffer.data(), info.size_filename < m_nameBuffer.size() ? info.size_filename : 0);
    return true;
}

void CZipWrapper::BuildIndex()
{
    m_index.clear();
    m_vecFiles.clear();
    m_undecodable.clear();
    m_bIndexBuilt = false;
    m_unpackedBytes = 0;
    if (m_reader == nullptr) return;
    if (unzGoToFirstFile(m_reader) == UNZ_OK) {
        for (std::uint32_t i = 0; i < m_entryCount; ++i) {
            unz_file_info64 info;
            std::string bytes;
            std::wstring name;
            if (ReadCurrentInfo(info, bytes) && !IsDirectoryName(bytes)) {
                if (!DecodeName(bytes, info.flag, &name)) {
                    // Never guessed at: a garbled name would be another file.
                    m_undecodable.push_back(bytes);
                } else {
                    unz64_file_pos pos;
                    if (unzGetFilePos64(m_reader, &pos) == UNZ_OK) m_index[IndexKey(name)] = pos;
                    m_vecFiles.push_back(name);
                    m_unpackedBytes += info.uncompressed_size;
                }
            }
            if (i + 1 < m_entryCount && unzGoToNextFile(m_reader) != UNZ_OK) break;
        }
    }
    m_bIndexBuilt = true;
}

std::vector<std::wstring> CZipWrapper::ListFiles()
{
    if (!m_bIndexBuilt) BuildIndex();
    return m_vecFiles;
}

bool CZipWrapper::HasEntry(const wchar_t* entryName)
{
    if (entryName == nullptr || m_reader == nullptr) return false;
    if (!m_bIndexBuilt) BuildIndex();
    return m_index.count(IndexKey(entryName)) != 0;
}

bool CZipWrapper::ExtractFile(const wchar_t* entryName, const wchar_t* destPath, std::uint64_t maxBytes,
                              std::string* md5Hex)
{
    if (entryName == nullptr || destPath == nullptr || m_reader == nullptr) return false;
    if (!m_bIndexBuilt) BuildIndex();
    auto it = m_index.find(IndexKey(entryName));
    if (it == m_index.end()) return false;

    unz_file_info64 info;
    std::string name;
    if (unzGoToFilePos64(m_reader, &it->second) != UNZ_OK || !ReadCurrentInfo(info, name)) return false;
    // The inflater stops at the stated size, so the stated size is the cap.
    if (info.uncompressed_size > maxBytes) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    if (unzOpenCurrentFilePassword(m_reader, nullptr) != UNZ_OK) return false;

    MakeDirectories(GetParentDir(destPath));
    Base::Utility::CFileHandle file(CreateFileW(destPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && GetLastError() == ERROR_ACCESS_DENIED) {
        // A read-only file in the way is replaced.
        SetFileAttributesW(destPath, FILE_ATTRIBUTE_NORMAL);
        file.Reset(CreateFileW(destPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file) {
        unzCloseCurrentFile(m_reader);
        return false;
    }

    CMd5 md5;
    std::uint64_t remaining = info.uncompressed_size;
    while (remaining > 0) {
        const unsigned chunk = remaining < kBufferSize ? static_cast<unsigned>(remaining) : kBufferSize;
        const int n = unzReadCurrentFile(m_reader, m_buffer.data(), chunk);
        if (n != static_cast<int>(chunk)) {
            unzCloseCurrentFile(m_reader);
            SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        if (!WriteAllBytes(file.Get(), m_buffer.data(), chunk, m_diskBudget)) {
            const DWORD error = GetLastError();
            unzCloseCurrentFile(m_reader);
            SetLastError(error);
            return false;
        }
        if (md5Hex) md5.Update(m_buffer.data(), chunk);
        remaining -= chunk;
    }
    if (unzCloseCurrentFile(m_reader) != UNZ_OK) {  // CRC mismatch among others
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    if (md5Hex) {
        unsigned char digest[16];
        md5.Final(digest);
        *md5Hex = Md5Hex(digest);
    }

    FILETIME local, utc;
    if (DosDateTimeToFileTime(HIWORD(info.dosDate), LOWORD(info.dosDate), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file.Get(), nullptr, nullptr, &utc);
    return true;
}

}  // namespace FileIO
