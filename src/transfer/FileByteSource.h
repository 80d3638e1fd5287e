// The bytes of a file, read on demand.
#pragma once

#include <string>

#include "ByteSource.h"
#include "base/utility/WinHandle.h"

class CFileByteSource : public IByteSource {
public:
    bool Open(const std::wstring& path);
    bool IsOpen() const { return m_file.Valid(); }
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, void* out, std::size_t length) const override;

private:
    Base::Utility::CFileHandle m_file;
    std::uint64_t m_size = 0;
};
