#include "FileByteSource.h"

bool CFileByteSource::Open(const std::wstring& path)
{
    m_file.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!m_file || !GetFileSizeEx(m_file.Get(), &size)) {
        m_file.Reset();
        return false;
    }
    m_size = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool CFileByteSource::Read(std::uint64_t offset, void* out, std::size_t length) const
{
    if (!m_file || offset > m_size || length > m_size - offset) return false;
    unsigned char* p = static_cast<unsigned char*>(out);
    while (length > 0) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
        DWORD got = 0;
        if (!ReadFile(m_file.Get(), p, chunk, &got, &at) || got == 0) return false;
        p += got;
        offset += got;
        length -= got;
    }
    return true;
}
