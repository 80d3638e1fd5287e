// The bytes of a file, read on demand.
#pragma once

#include <mutex>
#include <string>

#include "ByteSource.h"
#include "base/utility/WinHandle.h"

class CFileByteSource : public IByteSource {
public:
    bool Open(const std::wstring& path);
    bool IsOpen() const { return m_file.Valid(); }
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, void* out, std::size_t length) const override;
    // One mapped window at a time: a file of several GiB fits no 32-bit address space.
    const unsigned char* View(std::uint64_t offset, std::size_t length) const override;

private:
    Base::Utility::CFileHandle m_file;
    mutable Base::Utility::CKernelHandle m_mapping;
    mutable Base::Utility::CMapView m_view;
    std::uint64_t m_size = 0;
    mutable std::mutex m_reading;
};
