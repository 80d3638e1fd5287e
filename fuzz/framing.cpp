// A received stream: unscrambled, then cut into messages by the framing queue.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/network/MsgPackQueue.h"
#include "base/network/StreamScramble.h"

using namespace Base::NetWork;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    // First byte: the size of the pieces the stream arrives in.
    const std::uint32_t piece = 1u + data[0] * 64u;
    std::vector<char> stream(data + 1, data + size);
    std::uint8_t key = SCRAMBLE_INITIAL_KEY;
    CMsgPackQueue queue;
    std::uint32_t at = 0;
    const std::uint32_t n = static_cast<std::uint32_t>(stream.size());
    while (at < n) {
        std::uint32_t consumed = n - at < piece ? n - at : piece;
        UnscrambleStream(key, &stream[at], consumed);
        std::uint32_t remaining = 0, headerLength = 0, copied = 0;
        std::uint16_t id = 0;
        std::uint8_t tail = 0;
        const std::uint32_t offered = consumed;
        if (queue.PushData(&stream[at], consumed, remaining, id, headerLength, copied, tail) != PUSH_OK) break;
        if (consumed == 0 || consumed > offered) break;
        at += consumed;
        // The receiver takes complete messages out as they come.
        while (queue.Count() > 1) queue.Consume(0);
    }
    for (tagMsgPackNode* m = queue.Front(); m; m = queue.Front()) {
        if (m->filled > m->length) std::abort();
        queue.Consume(0);
    }
    return 0;
}
