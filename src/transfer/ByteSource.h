// Random access to the bytes of a file or a memory block, for readers of
// untrusted formats: every read states its offset and length and fails when
// it would leave the source.
#pragma once

#include <cstddef>
#include <cstdint>

class IByteSource {
public:
    virtual ~IByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // False when [offset, offset + length) is not inside the source.
    virtual bool Read(std::uint64_t offset, void* out, std::size_t length) const = 0;
    // [offset, offset + length) in place, valid until the next View of this
    // source; null when outside it, empty, or when the source cannot lend its
    // bytes (then Read them). Spares a copy of a window of a large file.
    virtual const unsigned char* View(std::uint64_t offset, std::size_t length) const
    {
        (void)offset;
        (void)length;
        return nullptr;
    }
};

class CMemoryByteSource : public IByteSource {
public:
    CMemoryByteSource(const void* data, std::size_t size)
        : m_data(static_cast<const unsigned char*>(data)), m_size(size)
    {
    }
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, void* out, std::size_t length) const override;
    const unsigned char* View(std::uint64_t offset, std::size_t length) const override;

private:
    const unsigned char* m_data;
    std::size_t m_size;
};

// [offset, offset + size) of another source, as a source of its own.
class CSliceByteSource : public IByteSource {
public:
    CSliceByteSource(const IByteSource& whole, std::uint64_t offset, std::uint64_t size)
        : m_whole(whole), m_offset(offset), m_size(size)
    {
    }
    // The slice lies inside the whole.
    bool Valid() const { return m_offset <= m_whole.Size() && m_size <= m_whole.Size() - m_offset; }
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, void* out, std::size_t length) const override
    {
        return offset <= m_size && length <= m_size - offset && m_whole.Read(m_offset + offset, out, length);
    }
    const unsigned char* View(std::uint64_t offset, std::size_t length) const override
    {
        return offset <= m_size && length <= m_size - offset ? m_whole.View(m_offset + offset, length) : nullptr;
    }

private:
    const IByteSource& m_whole;
    std::uint64_t m_offset, m_size;
};
