#include "ByteSource.h"

#include <cstring>

bool CMemoryByteSource::Read(std::uint64_t offset, void* out, std::size_t length) const
{
    if (offset > m_size || length > m_size - offset) return false;
    if (length) std::memcpy(out, m_data + offset, length);
    return true;
}

const unsigned char* CMemoryByteSource::View(std::uint64_t offset, std::size_t length) const
{
    if (length == 0 || offset > m_size || length > m_size - offset) return nullptr;
    return m_data + offset;
}
