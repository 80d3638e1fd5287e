#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "TestUtil.h"
#include "Wire.h"
#include "base/network/MsgPackQueue.h"
#include "base/utility/PackMsgBase.h"
#include "base/utility/Serializer.h"

using namespace Base::NetWork;
using Base::Utility::CPackMsgBase;
using Base::Utility::CSerializer;

namespace {

struct Push {
    int result; std::uint32_t consumed, remaining, headerLength, copied; std::uint16_t id; std::uint8_t tailFlag;
};

Push PushAll(CMsgPackQueue& q, const std::string& bytes)
{
    Push r{};
    r.consumed = static_cast<std::uint32_t>(bytes.size());
    r.result = q.PushData(bytes.data(), r.consumed, r.remaining, r.id, r.headerLength, r.copied, r.tailFlag);
    return r;
}

std::string Body(const tagMsgPackNode* node) { return std::string(node->body, node->filled); }

}  // namespace

TEST(MsgPackQueueTest, AddMessageChecksLengthAndAvailableBytesAndBadLengthsAreLeftToTheCaller)
{
    CMsgPackQueue q;
    const std::string m = WireMessage(5, "hello");
    EXPECT_FALSE(q.AddMessage(nullptr, 0));
    for (std::uint32_t bad : {0u, 3u, MSG_MAX_LENGTH + 1}) EXPECT_FALSE(q.AddMessage(WireHeader(bad, 1).data(), 0)) << bad;
    EXPECT_FALSE(q.AddMessage(m.data(), 6));   // not even a whole header
    EXPECT_FALSE(q.AddMessage(m.data(), 13));  // more than the message
    ASSERT_TRUE(q.AddMessage(m.data(), 0));
    EXPECT_FALSE(q.IsTailIncomplete());
    ASSERT_TRUE(q.AddMessage(m.data(), 8));
    EXPECT_TRUE(q.IsTailIncomplete());
    EXPECT_EQ(q.Count(), 2u);
    EXPECT_EQ(q.Bytes(), 24u);
    EXPECT_EQ(q.Back()->filled, 8u);
    EXPECT_EQ(q.Back()->body[12], 0);
    // Consume takes bytes out of the front message; its last bytes remove it.
    EXPECT_TRUE(q.Consume(10));
    EXPECT_EQ(q.Front()->readPos, 10u);
    EXPECT_FALSE(q.Consume(3));  // more than is left
    EXPECT_TRUE(q.Consume(2));
    EXPECT_EQ(q.Count(), 1u);
    EXPECT_EQ(q.Bytes(), 12u);
    q.Clear();
    EXPECT_FALSE(q.Consume(1));

    // Bad lengths in a stream leave the bytes to the caller.
    CMsgPackQueue b;
    Push r = PushAll(b, WireMessage(1, "ok") + WireHeader(0, 0x1234) + "tail");
    EXPECT_EQ(r.result, PUSH_ZERO_LENGTH);
    EXPECT_EQ(r.id, 0x1234u);
    EXPECT_EQ(r.consumed, 9u);
    EXPECT_EQ(r.remaining, 11u);
    r = PushAll(b, WireHeader(MSG_MAX_LENGTH + 1, 7));
    EXPECT_EQ(r.result, PUSH_TOO_LONG);
    EXPECT_EQ(r.consumed, 0u);
    EXPECT_EQ(PushAll(b, WireHeader(6, 8) + "123456").result, PUSH_REJECTED);
    r = PushAll(b, WireHeader(MSG_MAX_LENGTH, 11));  // the largest length is accepted
    EXPECT_EQ(r.result, PUSH_OK);
    EXPECT_TRUE(b.IsTailIncomplete());
    b.Clear();  // the waiting tail is taken away
    r = PushAll(b, "abc");
    EXPECT_EQ(r.result, PUSH_TAIL_MISSING);
    EXPECT_EQ(r.consumed, 0u);
    EXPECT_FALSE(b.IsTailIncomplete());
    std::uint32_t zero = 0;
    EXPECT_EQ(b.PushData(nullptr, zero, r.remaining, r.id, r.headerLength, r.copied, r.tailFlag), PUSH_NULL_DATA);
    EXPECT_EQ(b.PushData("x", zero, r.remaining, r.id, r.headerLength, r.copied, r.tailFlag), PUSH_NO_DATA);
}

TEST(MsgPackQueueTest, StreamIsCutIntoMessagesAndSplitMessagesAreAssembled)
{
    CMsgPackQueue q;
    const std::string body = PatternBytes(3000);
    const std::string stream = WireMessage(1, "ab") + WireMessage(2, "") + WireMessage(9, body) + WireMessage(10, "next");
    // Pieces: a cut-off header stays with the caller; a cut-off body waits in its node.
    const std::size_t cuts[] = {0, 12, 1000, 2500, stream.size()};
    std::string pending;
    for (int i = 0; i + 1 < 5; ++i) {
        pending += stream.substr(cuts[i], cuts[i + 1] - cuts[i]);
        const Push r = PushAll(q, pending);
        ASSERT_EQ(r.result, PUSH_OK) << i;
        EXPECT_EQ(r.consumed + r.remaining, pending.size());
        pending.erase(0, r.consumed);
    }
    EXPECT_TRUE(pending.empty());
    EXPECT_FALSE(q.IsTailIncomplete());
    ASSERT_EQ(q.Count(), 4u);
    EXPECT_EQ(Body(q.Front()), WireMessage(1, "ab"));
    EXPECT_TRUE(q.Consume(0));
    EXPECT_TRUE(q.Consume(7));  // all of it: removed
    EXPECT_EQ(q.LastId(), 2u);
    EXPECT_EQ(Body(q.Front()), WireMessage(9, body));
    EXPECT_EQ(Body(q.Back()), WireMessage(10, "next"));
}

TEST(SerializerTest, AWriteThatWouldOverflowFailsAndWritesNothingAndMessagesKeepTheirLength)
{
    char buffer[8] = {};
    CSerializer s(buffer, 6);
    EXPECT_TRUE(s.WirteData("abcd", 4));
    EXPECT_FALSE(s.WirteData("xyz", 3));
    EXPECT_TRUE(s.IsFailed());
    EXPECT_EQ(buffer[4], 0);
    EXPECT_FALSE(s.WirteData("x", 0xFFFFFFFFu));  // no wrap-around past the check
    EXPECT_TRUE(s.WirteData("xy", 2));
    EXPECT_EQ(std::string(buffer, 6), "abcdxy");

    // A message: header first, then the body, with the length kept current.
    CPackMsgBase msg(0x0102, 2);
    const std::uint32_t value = 0xA1B2C3D4;
    ASSERT_TRUE(msg.WirteData(&value, 4));
    ASSERT_TRUE(msg.WirteData("xyz", 3));
    EXPECT_EQ(std::string(msg.GetMsg(), msg.GetMsgLength()), WireHeader(14, 0x0102, 2) + "\xD4\xC3\xB2\xA1xyz");
    CPackMsgBase small(1, 0, 4);  // never grows past its capacity
    EXPECT_TRUE(small.WirteData("abcd", 4));
    EXPECT_FALSE(small.WirteData("e", 1));
    EXPECT_EQ(ReadLe32(small.GetMsg()), 11u);
    char lent[9];
    CPackMsgBase borrowed(lent, sizeof lent, 3, 1);
    EXPECT_TRUE(borrowed.WirteData("ab", 2));
    EXPECT_FALSE(borrowed.WirteData("c", 1));
    EXPECT_EQ(std::string(lent, 9), WireHeader(9, 3, 1) + "ab");
}
