#include "Serializer.h"

#include <cstring>

namespace Base {
namespace Utility {

CSerializer::CSerializer(char* buffer, std::uint32_t maxBytes)
    : m_pBuffer(buffer), m_nMaxByte(buffer ? maxBytes : 0)
{
}

CSerializer::CSerializer(std::uint32_t maxBytes)
    : m_nMode(MODE_OWNED), m_bOwned(1), m_pBuffer(new char[maxBytes ? maxBytes : 1]()), m_nMaxByte(maxBytes)
{
}

CSerializer::~CSerializer()
{
    if (m_bOwned) delete[] m_pBuffer;
}

void CSerializer::Fail(const char* text)
{
    m_bFailed = 1;
    m_strErrorText = text;
}

bool CSerializer::WirteData(const void* src, std::uint32_t len)
{
    // 64-bit sum: a huge len must not wrap past the check.
    if (std::uint64_t(m_nCurByte) + len > m_nMaxByte) {
        Fail("WirteData (m_nCurByte + len) > m_nMaxByte");
        return false;
    }
    if (len == 0) return true;
    if (src == nullptr) {
        Fail("WirteData src is NULL");
        return false;
    }
    std::memcpy(m_pBuffer + m_nCurByte, src, len);
    m_nCurByte += len;
    return true;
}

}  // namespace Utility
}  // namespace Base
