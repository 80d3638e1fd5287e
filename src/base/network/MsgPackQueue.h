// Queues of framed messages. Wire format of one message (little-endian):
// u32 total length (header included, 7 to 1048576), u16 identifier,
// u8 send class (0, 1 or 2), then the body.
#pragma once

#include <atomic>
#include <cstdint>

#include "Queue.h"
#include "base/memory/Allocator.h"
#include "base/system/TSingleton.h"
#include "base/system/ZLock.h"

namespace Base {
namespace NetWork {

enum : std::uint32_t {
    MSG_HEADER_SIZE = 7,
    MSG_MAX_LENGTH = 0x100000,
};

// Results of CMsgPackQueue::PushData.
enum : int {
    PUSH_OK = 0,
    PUSH_NULL_DATA = 1,
    PUSH_NO_DATA = 2,
    PUSH_TAIL_FULL = 3,
    PUSH_TAIL_MISSING = 4,
    PUSH_TOO_LONG = 5,
    PUSH_ZERO_LENGTH = 6,
    PUSH_REJECTED = 9,
};

struct tagMsgPackNode {
    std::uint32_t filled;   // bytes of the message present in body
    std::uint32_t readPos;  // bytes already taken out by the sender
    std::uint32_t length;   // total length from the header
    std::uint8_t reserved;
    char* body;             // length + 1 bytes; body[length] is 0
};

std::uint32_t ReadLe32(const char* p);
std::uint16_t ReadLe16(const char* p);
void WriteLe32(char* p, std::uint32_t v);
void WriteLe16(char* p, std::uint16_t v);

class CMsgPackQueue {
public:
    CMsgPackQueue() = default;
    virtual ~CMsgPackQueue();
    CMsgPackQueue(const CMsgPackQueue&) = delete;
    CMsgPackQueue& operator=(const CMsgPackQueue&) = delete;

    // Queues a message whose first `available` bytes are given (0: all of it).
    bool AddMessage(const char* bytes, std::uint32_t available);

    // Cuts a received stream into messages. `consumed` is in: bytes at data,
    // out: bytes taken; the rest stays with the caller. The other outputs
    // describe where framing stopped, for diagnostics.
    int PushData(const char* data, std::uint32_t& consumed, std::uint32_t& remaining, std::uint16_t& id,
                 std::uint32_t& headerLength, std::uint32_t& copied, std::uint8_t& tailFlag);

    // Takes n bytes out of the front message; n = 0, or the message's last
    // bytes, removes it.
    bool Consume(std::uint32_t n);
    void Clear();

    tagMsgPackNode* Front();
    tagMsgPackNode* Back();
    std::uint32_t Count();
    // The summed lengths of the queued messages (their allocated bodies).
    std::uint64_t Bytes();
    bool IsTailIncomplete() const { return m_bIncompleteTail != 0; }

    // The last message removed from the front.
    std::uint16_t LastId() const { return m_nLastId; }
    std::uint32_t LastLength() const { return m_nLastLength; }
    std::uint32_t LastFilled() const { return m_nLastFilled; }
    std::uint32_t LastHeaderLength() const { return m_nLastHeaderLength; }

private:
    std::atomic<std::uint8_t> m_bIncompleteTail{0};  // read by other threads
    std::uint16_t m_nLastId = 0;
    std::uint32_t m_nLastLength = 0;
    std::uint32_t m_nLastFilled = 0;
    std::uint32_t m_nLastHeaderLength = 0;
    std::uint64_t m_nBytes = 0;
    System::ZSemiAutoIntLock m_lock;
    TQueue<tagMsgPackNode*> m_nodes;
    Utility::TSingleton<Memory::MsgBodyAllocator> m_pool;
};

}  // namespace NetWork
}  // namespace Base
