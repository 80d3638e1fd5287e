#include "PackageInfo.h"

#include <cstdio>
#include <memory>

#include <tinyxml.h>
#include <unzip.h>

#include "Utf8File.h"
#include "base/utility/Utf8.h"
#include "base/utility/XmlLoad.h"
#include "transfer/ByteSource.h"
#include "transfer/PeResource.h"
#include "transfer/ZipRangeIo.h"

namespace {

// A file read at offsets, without reading it whole.
class CStdioByteSource : public IByteSource {
public:
    explicit CStdioByteSource(const std::string& path) : m_file(OpenUtf8(path, "rb"))
    {
        if (m_file && std::fseek(m_file, 0, SEEK_END) == 0) m_size = static_cast<std::uint64_t>(Tell());
    }
    ~CStdioByteSource() override
    {
        if (m_file) std::fclose(m_file);
    }
    bool Open() const { return m_file != nullptr; }
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, void* out, std::size_t length) const override
    {
        if (!m_file || offset > m_size || length > m_size - offset) return false;
        if (!Seek(offset)) return false;
        return std::fread(out, 1, length, m_file) == length;
    }

private:
    long long Tell() const
    {
#ifdef _WIN32
        return _ftelli64(m_file);
#else
        return ftello(m_file);
#endif
    }
    bool Seek(std::uint64_t offset) const
    {
#ifdef _WIN32
        return _fseeki64(m_file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
        return fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
    }
    std::FILE* m_file;
    std::uint64_t m_size = 0;
};

struct SUnzipCloser {
    void operator()(void* z) const { unzClose(static_cast<unzFile>(z)); }
};

}  // namespace

bool ReadPackageInfo(const std::string& path, SPackageInfo* out, std::string* why)
{
    *out = SPackageInfo();
    CStdioByteSource file(path);
    if (!file.Open()) {
        *why = "cannot be read";
        return false;
    }
    SResourceLocation where;
    if (!FindPeResource(file, "RT_RCDATA", 135, &where, why)) {
        *why = "not a package: " + *why;
        return false;
    }
    SZipRange range = {&file, where.offset, where.size};
    zlib_filefunc64_def funcs;
    FillZipRangeFuncs(&funcs);
    std::unique_ptr<void, SUnzipCloser> zip(unzOpen2_64(&range, &funcs));
    if (!zip) {
        *why = "its resource is no zip archive";
        return false;
    }
    unzFile z = static_cast<unzFile>(zip.get());
    std::string fileList;
    bool hasList = false;
    for (int r = unzGoToFirstFile(z); r == UNZ_OK; r = unzGoToNextFile(z)) {
        unz_file_info64 info;
        char name[1024];
        if (unzGetCurrentFileInfo64(z, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK ||
            info.size_filename >= sizeof name) {
            *why = "an entry cannot be read";
            return false;
        }
        const std::string bytes(name, info.size_filename);
        if (bytes.empty() || bytes.back() == '/') continue;
        std::wstring wide;
        if (info.flag & 0x800) {
            if (!Base::Utility::Utf16FromUtf8(bytes, &wide)) out->undecodable = true;
        } else {
            // Unflagged names are read in the player's code page: only ASCII reads the same everywhere.
            for (unsigned char c : bytes) wide.push_back(c < 0x80 ? static_cast<wchar_t>(c) : L'\xFFFD');
        }
        out->names.push_back(wide);
        if (bytes == "filelist.xml" && info.uncompressed_size <= kMaxXmlBytes && unzOpenCurrentFile(z) == UNZ_OK) {
            fileList.resize(static_cast<std::size_t>(info.uncompressed_size));
            hasList = unzReadCurrentFile(z, &fileList[0], static_cast<unsigned>(fileList.size())) ==
                          static_cast<int>(fileList.size()) &&
                      unzCloseCurrentFile(z) == UNZ_OK;
        }
    }
    if (!hasList) {
        *why = "it holds no filelist.xml";
        return false;
    }
    TiXmlDocument doc;
    if (!ParseXmlBytes(doc, fileList, false, TIXML_ENCODING_UNKNOWN) ||
        ReadPackageFileList(doc, &out->list) != FILELIST_OK) {
        *why = "its filelist.xml is not one the launcher reads";
        return false;
    }
    return true;
}
