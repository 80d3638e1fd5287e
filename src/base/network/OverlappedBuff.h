// A buffer for one overlapped socket operation. Its held bytes are described
// by a Winsock buffer descriptor, which is handed to WSASend/WSARecv as is;
// the completion port gives back the OVERLAPPED, from which the buffer is
// found again.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>

#include "base/memory/Allocator.h"
#include "base/system/TSingleton.h"

namespace Base {
namespace NetWork {

enum : std::uint32_t {
    IO_IOCPSESSION_OPER_SEND = 1,
    IO_IOCPSESSION_OPER_SEND_COMPLETE = 2,
    IO_IOCPSESSION_OPER_RECV = 3,
    IO_IOCPSESSION_OPER_RECV_COMPLETE = 4,
    IO_IOCPSESSION_OPER_TICK = 6,
};

// The common I/O buffer size gets a store of its own.
struct tagNormalBuff {
    char data[8195];
};

class COverlappedBuff {
public:
    explicit COverlappedBuff(std::uint32_t capacity);
    virtual ~COverlappedBuff();
    COverlappedBuff(const COverlappedBuff&) = delete;
    COverlappedBuff& operator=(const COverlappedBuff&) = delete;

    // Copies as much as fits behind the held bytes; returns the count taken.
    std::uint32_t Append(const char* src, std::uint32_t n);
    // Drops n held bytes from the front; false for 0 or more than held.
    bool Consume(std::uint32_t n);
    void Clear();
    // Exchanges contents with a buffer of the same capacity.
    bool Swap(COverlappedBuff& other);

    char* GetData() const { return m_wsaBuf.buf; }
    std::uint32_t GetLength() const { return m_wsaBuf.len; }
    // Offers the whole storage (a receive fills it from the start).
    void OfferAll();
    std::uint32_t GetCapacity() const { return m_nCapacity; }
    std::uint32_t GetNumberOfBytes() const { return m_nBytes; }
    void SetNumberOfBytes(std::uint32_t n) { m_nBytes = n; }
    std::uint32_t GetOp() const { return m_nOp; }
    void SetOp(std::uint32_t op) { m_nOp = op; }

    bool IsBusy() const { return m_bBusy.load(); }
    void SetBusy(bool on) { m_bBusy = on; }

    WSABUF* GetWSABuf() { return &m_wsaBuf; }
    OVERLAPPED* GetOverlapped() { return &m_link.overlapped; }
    // Resets the OVERLAPPED before it is handed to a new operation.
    void ResetOverlapped();
    static COverlappedBuff* FromOverlapped(OVERLAPPED* p);

private:
    struct SOverlappedLink {
        OVERLAPPED overlapped;
        COverlappedBuff* owner;
    };

    SOverlappedLink m_link;
    std::atomic<bool> m_bBusy{false};
    std::uint32_t m_nBytes = 0;
    WSABUF m_wsaBuf;
    std::uint32_t m_nOp = 0;
    std::uint32_t m_nCapacity;
    char* m_pStorage;
    Utility::TSingleton<Memory::IOBuffAllocator> m_pool;
};

}  // namespace NetWork
}  // namespace Base
