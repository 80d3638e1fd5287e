#include "ZipWriter.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include <zip.h>
#ifdef _WIN32
#include <iowin32.h>
#endif

namespace {

// Names are UTF-8, and say so (the language encoding flag), so that every
// launcher reads them as they were written, whatever its code page.
const uLong kUtf8NameFlag = 0x800;

int OpenEntry(zipFile zf, const std::string& name, const zip_fileinfo* zi, bool zip64, bool stored = false)
{
    return zipOpenNewFileInZip4_64(zf, name.c_str(), zi, nullptr, 0, nullptr, 0, nullptr, stored ? 0 : Z_DEFLATED,
                                   stored ? 0 : Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                   0, 0, kUtf8NameFlag, zip64 ? 1 : 0);
}

// Every entry carries the same time: packing the same trees twice gives the
// same bytes, so a repack after publishing cannot break the published digest.
zip_fileinfo FixedTime()
{
    zip_fileinfo zi = {};
    zi.tmz_date.tm_mday = 1;
    zi.tmz_date.tm_year = 2020;
    return zi;
}

}  // namespace

CZipWriter::~CZipWriter()
{
    if (m_zip) zipClose(static_cast<zipFile>(m_zip), nullptr);
}

bool CZipWriter::Create(const std::string& path)
{
#ifdef _WIN32
    // The path is UTF-8: opened through the wide API.
    zlib_filefunc64_def funcs;
    fill_win32_filefunc64W(&funcs);
    m_zip = zipOpen2_64(std::filesystem::u8path(path).wstring().c_str(), APPEND_STATUS_CREATE, nullptr, &funcs);
#else
    m_zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
#endif
    if (!m_zip) m_error = "cannot create " + path;
    return m_zip != nullptr;
}

bool CZipWriter::AddFile(const std::string& name, const std::string& sourcePath, bool stored)
{
    const std::filesystem::path p = std::filesystem::u8path(sourcePath);
    std::ifstream in(p, std::ios::binary);
    std::error_code ec;
    const auto size = std::filesystem::file_size(p, ec);
    if (!in || ec) {
        m_error = "cannot read " + sourcePath;
        return false;
    }
    zip_fileinfo zi = FixedTime();
    zipFile zf = static_cast<zipFile>(m_zip);
    if (OpenEntry(zf, name, &zi, size >= 0xFFFFFFFFull, stored) != ZIP_OK) {
        m_error = "cannot add " + name;
        return false;
    }
    std::vector<char> buf(1 << 20);
    bool ok = true;
    while (ok && in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        const auto n = in.gcount();
        if (n > 0) ok = zipWriteInFileInZip(zf, buf.data(), static_cast<unsigned>(n)) == ZIP_OK;
    }
    ok = zipCloseFileInZip(zf) == ZIP_OK && ok && in.eof();
    if (!ok) m_error = "failed adding " + sourcePath;
    return ok;
}

bool CZipWriter::AddBytes(const std::string& name, const std::string& bytes)
{
    zip_fileinfo zi = FixedTime();
    zipFile zf = static_cast<zipFile>(m_zip);
    bool ok = OpenEntry(zf, name, &zi, false) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(zf, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK;
    ok = zipCloseFileInZip(zf) == ZIP_OK && ok;
    if (!ok) m_error = "failed adding " + name;
    return ok;
}

bool CZipWriter::Close()
{
    if (!m_zip) return false;
    const bool ok = zipClose(static_cast<zipFile>(m_zip), nullptr) == ZIP_OK;
    m_zip = nullptr;
    if (!ok) m_error = "failed closing the archive";
    return ok;
}
