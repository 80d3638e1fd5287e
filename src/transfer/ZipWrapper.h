// Reading (and writing) zip archives through minizip, with a name index that
// ignores A-Z case and the direction of slashes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unzip.h>
#include <zip.h>

#include "ZipRangeIo.h"

class CFileByteSource;
class CDiskBudget;

namespace FileIO {

class CZipWrapper {
public:
    enum { MODE_CREATE = 0, MODE_CREATE_AFTER = 1, MODE_ADD_INTO = 2, MODE_READ = 3 };
    static const unsigned kBufferSize = 102400;

    CZipWrapper();
    CZipWrapper(const wchar_t* path, int mode);
    virtual ~CZipWrapper();
    CZipWrapper(const CZipWrapper&) = delete;
    CZipWrapper& operator=(const CZipWrapper&) = delete;

    bool Open(const wchar_t* path, int mode);
    // Entries are extracted onto a volume that fills up at this budget (null: as it is).
    void SetDiskBudget(::CDiskBudget* budget) { m_diskBudget = budget; }
    // Reads an archive through the given file functions (e.g. from memory);
    // name is passed to their open function.
    bool OpenReader(zlib_filefunc64_def* funcs, const void* name);
    void Close();
    bool IsReaderClosed() const { return m_reader == nullptr; }

    // File entries in archive order, as stored; directories left out. A name
    // flagged UTF-8 is read as UTF-8, any other in the ANSI code page.
    std::vector<std::wstring> ListFiles();
    // Names flagged UTF-8 that are not (as bytes): left out of the list, and
    // an archive that has any is refused by its readers.
    const std::vector<std::string>& UndecodableNames() const { return m_undecodable; }
    // An entry larger than maxBytes is refused (ERROR_FILE_TOO_LARGE) before
    // anything is written. md5Hex (when given) gets the digest of the bytes
    // written, taken as they pass.
    bool ExtractFile(const wchar_t* entryName, const wchar_t* destPath, std::uint64_t maxBytes = ~0ull,
                     std::string* md5Hex = nullptr);
    bool HasEntry(const wchar_t* entryName);

    std::uint32_t EntryCount() const { return m_entryCount; }
    // The stated sizes of the file entries, added up.
    std::uint64_t UnpackedBytes() const { return m_unpackedBytes; }
    const std::wstring& Path() const { return m_path; }

private:
    bool ReadCurrentInfo(unz_file_info64& info, std::string& name);
    void BuildIndex();
    void AfterOpenReader();

    std::unique_ptr<CFileByteSource> m_file;  // the archive file of a reader
    SZipRange m_range = {};
    unzFile m_reader;
    zipFile m_writer;
    std::uint32_t m_entryCount;
    std::uint64_t m_unpackedBytes = 0;
    std::wstring m_path;
    std::vector<unsigned char> m_buffer;
    ::CDiskBudget* m_diskBudget = nullptr;
    std::vector<char> m_nameBuffer;
    std::map<std::string, unz64_file_pos> m_index;
    std::vector<std::wstring> m_vecFiles;  // file entries in archive order
    std::vector<std::string> m_undecodable;
    bool m_bIndexBuilt;
    std::wstring m_password;
};

}  // namespace FileIO
