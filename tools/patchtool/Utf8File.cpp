#include "Utf8File.h"

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

bool RemoveUtf8(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::remove(std::filesystem::u8path(path), ec);
}
