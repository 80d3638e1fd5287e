// A bounded writer: bytes go to a buffer of fixed size, and a write that
// would pass its end fails as a whole, writes nothing and marks the writer.
#pragma once

#include <cstdint>
#include <string>

namespace Base {
namespace Utility {

class CSerializer {
public:
    enum : std::uint32_t { MODE_BORROWED = 0, MODE_OWNED = 1 };

    // Writes into the caller's buffer, which must outlive the writer.
    CSerializer(char* buffer, std::uint32_t maxBytes);
    // Writes into a zeroed buffer of its own.
    explicit CSerializer(std::uint32_t maxBytes);
    virtual ~CSerializer();
    CSerializer(const CSerializer&) = delete;
    CSerializer& operator=(const CSerializer&) = delete;

    virtual bool WirteData(const void* src, std::uint32_t len);

    bool IsFailed() const { return m_bFailed != 0; }
    const std::string& GetErrorText() const { return m_strErrorText; }
    const char* GetBuffer() const { return m_pBuffer; }
    std::uint32_t GetCurByte() const { return m_nCurByte; }
    std::uint32_t GetMaxByte() const { return m_nMaxByte; }

protected:
    CSerializer() = default;
    void Fail(const char* text);

    std::uint32_t m_nMode = MODE_BORROWED;
    std::uint8_t m_bFailed = 0;
    std::uint8_t m_bOwned = 0;
    char* m_pBuffer = nullptr;
    std::uint32_t m_nCurByte = 0;
    std::uint32_t m_nMaxByte = 0;
    std::string m_strErrorText;
};

}  // namespace Utility
}  // namespace Base
