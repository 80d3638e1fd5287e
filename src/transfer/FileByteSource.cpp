#include "FileByteSource.h"

bool CFileByteSource::Open(const std::wstring& path)
{
    m_view.Reset();
    m_mapping.Reset();
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
    // A seek and a plain read: a read at an offset of its own costs Wine a
    // call to its server per read. Threads sharing the source take turns.
    std::lock_guard<std::mutex> one(m_reading);
    while (length > 0) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        const DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
        DWORD got = 0;
        if (!SetFilePointerEx(m_file.Get(), at, nullptr, FILE_BEGIN) ||
            !ReadFile(m_file.Get(), p, chunk, &got, nullptr) || got == 0)
            return false;
        p += got;
        offset += got;
        length -= got;
    }
    return true;
}

const unsigned char* CFileByteSource::View(std::uint64_t offset, std::size_t length) const
{
    if (!m_file || length == 0 || offset > m_size || length > m_size - offset) return nullptr;
    if (!m_mapping) m_mapping.Reset(CreateFileMappingW(m_file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!m_mapping) return nullptr;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const std::uint64_t start = offset - offset % si.dwAllocationGranularity;
    // The previous window goes first, so that two never share the address space.
    m_view.Reset();
    m_view.Reset(MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32), static_cast<DWORD>(start),
                               static_cast<SIZE_T>(offset - start + length)));
    return m_view ? static_cast<const unsigned char*>(m_view.Get()) + (offset - start) : nullptr;
}
