#include "Blake2bFile.h"

#include <windows.h>

#include <vector>

#include "base/utility/WinHandle.h"

bool ComputeFileBlake2b(const std::wstring& path, unsigned char digest[kMinisignDigestBytes])
{
    Base::Utility::CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    // Any size in bounded memory: a package may be larger than the address space.
    thread_local std::vector<unsigned char> buffer(1 << 20);
    CBlake2bStream hash;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
        if (got == 0) break;
        hash.Update(buffer.data(), got);
    }
    hash.Final(digest);
    return true;
}
