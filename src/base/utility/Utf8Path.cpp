#include "Utf8Path.h"

#include <filesystem>

std::FILE* OpenUtf8(const std::string& path, const char* mode)
{
#ifdef _WIN32
    const std::wstring wide = std::filesystem::u8path(path).wstring();
    return _wfopen(wide.c_str(), std::filesystem::u8path(mode).wstring().c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

bool SeekUtf8File(std::FILE* file, std::uint64_t offset)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool MoveReplacing(const std::string& from, const std::string& to, std::string* error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::rename(fs::u8path(from), fs::u8path(to), ec);
    if (ec) {
        fs::remove(fs::u8path(to), ec);
        fs::rename(fs::u8path(from), fs::u8path(to), ec);
    }
    if (ec && error) *error = "cannot move " + from + " to " + to + ": " + ec.message();
    return !ec;
}

bool RemoveUtf8(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::remove(std::filesystem::u8path(path), ec);
}
