#include "Md5File.h"

#include <windows.h>

#include <vector>

#include "Md5.h"
#include "base/utility/StrConv.h"
#include "base/utility/WinHandle.h"

using Base::Utility::CFileHandle;
using Base::Utility::CKernelHandle;
using Base::Utility::CMapView;

namespace {
const std::uint64_t kReadLimit = 1 << 20;
}

bool ComputeFileMd5(const wchar_t* path, unsigned char digest[16], std::uint64_t windowBytes)
{
    if (path == nullptr) return false;
    CFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return false;

    CMd5 md5;
    const std::uint64_t total = static_cast<std::uint64_t>(size.QuadPart);
    if (total > 0 && total <= kReadLimit) {
        // A small file is read in one go: a mapping costs four more system
        // calls, which weigh more than the copy when there are thousands.
        thread_local std::vector<unsigned char> buffer(kReadLimit);
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(total), &got, nullptr) || got != total) return false;
        md5.Update(buffer.data(), got);
    } else if (total > 0) {
        CKernelHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!mapping) return false;
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        const std::uint64_t granularity = si.dwAllocationGranularity;
        // Whole windows keep a large file within a 32-bit address space.
        std::uint64_t window = windowBytes < granularity ? granularity : windowBytes - windowBytes % granularity;
        for (std::uint64_t offset = 0; offset < total; offset += window) {
            const std::uint64_t length = total - offset < window ? total - offset : window;
            CMapView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                                        static_cast<DWORD>(offset), static_cast<SIZE_T>(length)));
            if (!view) return false;
            md5.Update(view.Get(), static_cast<size_t>(length));
        }
    }
    md5.Final(digest);
    return true;
}

const unsigned char* MD5File(const wchar_t* path)
{
    static unsigned char s_digest[16];
    return ComputeFileMd5(path, s_digest) ? s_digest : nullptr;
}

const unsigned char* MD5File(const char* path)
{
    return path ? MD5File(Base::Utility::AnsiToWide(path).c_str()) : nullptr;
}

const char* MD5ToHex(const unsigned char* digest)
{
    static char s_hex[33];
    if (digest == nullptr) {
        s_hex[0] = 0;
        return s_hex;
    }
    const std::string hex = Md5Hex(digest);
    hex.copy(s_hex, 32);
    s_hex[32] = 0;
    return s_hex;
}

std::string FileMd5Hex(const std::wstring& path)
{
    unsigned char digest[16];
    return ComputeFileMd5(path.c_str(), digest) ? Md5Hex(digest) : std::string();
}
