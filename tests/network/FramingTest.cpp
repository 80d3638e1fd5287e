#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/network/MsgPackQueue.h"
#include "base/network/StreamScramble.h"
#include "base/utility/PackMsgBase.h"
#include "base/utility/Serializer.h"

using namespace Base::NetWork;
using Base::Utility::CPackMsgBase;
using Base::Utility::CSerializer;

namespace {

std::string Header(std::uint32_t length, std::uint16_t id, std::uint8_t sendClass = 0)
{
    std::string h(7, '\0');
    WriteLe32(&h[0], length);
    WriteLe16(&h[4], id);
    h[6] = static_cast<char>(sendClass);
    return h;
}

std::string Message(std::uint16_t id, const std::string& body) { return Header(7 + body.size(), id) + body; }

struct Push {
    int result;
    std::uint32_t consumed, remaining, headerLength, copied;
    std::uint16_t id;
    std::uint8_t tailFlag;
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

TEST(MsgPackQueueTest, AddMessageChecksLengthAndAvailableBytes)
{
    CMsgPackQueue q;
    const std::string m = Message(5, "hello");
    EXPECT_FALSE(q.AddMessage(nullptr, 0));
    EXPECT_FALSE(q.AddMessage(Header(0, 1).data(), 0));
    EXPECT_FALSE(q.AddMessage(Header(MSG_MAX_LENGTH + 1, 1).data(), 0));
    EXPECT_FALSE(q.AddMessage(Header(3, 1).data(), 0));  // shorter than its own header
    EXPECT_FALSE(q.AddMessage(m.data(), 6));             // not even a whole header
    EXPECT_FALSE(q.AddMessage(m.data(), 13));            // more than the message
    EXPECT_EQ(q.Count(), 0u);

    ASSERT_TRUE(q.AddMessage(m.data(), 0));
    EXPECT_FALSE(q.IsTailIncomplete());
    ASSERT_TRUE(q.AddMessage(m.data(), 8));
    EXPECT_TRUE(q.IsTailIncomplete());
    EXPECT_EQ(q.Count(), 2u);
    EXPECT_EQ(q.Bytes(), 24u);
    tagMsgPackNode* last = q.Back();
    EXPECT_EQ(last->length, 12u);
    EXPECT_EQ(last->filled, 8u);
    EXPECT_EQ(last->body[12], 0);
}

TEST(MsgPackQueueTest, StreamIsCutIntoMessages)
{
    CMsgPackQueue q;
    // Two messages and a header-only one in one piece, then a cut-off header.
    const std::string stream = Message(1, "ab") + Message(2, "") + Message(3, "xyz") + Header(20, 4).substr(0, 5);
    Push r = PushAll(q, stream);
    EXPECT_EQ(r.result, PUSH_OK);
    EXPECT_EQ(r.consumed, stream.size() - 5);  // the cut-off header stays with the caller
    EXPECT_EQ(r.remaining, 5u);
    ASSERT_EQ(q.Count(), 3u);
    EXPECT_EQ(Body(q.Front()), Message(1, "ab"));
    EXPECT_TRUE(q.Consume(0));
    EXPECT_EQ(Body(q.Front()), Message(2, ""));
    EXPECT_TRUE(q.Consume(7));  // all of it: removed
    EXPECT_EQ(Body(q.Front()), Message(3, "xyz"));
    EXPECT_EQ(q.LastId(), 2u);
    EXPECT_EQ(q.LastLength(), 7u);
    EXPECT_EQ(q.LastHeaderLength(), 7u);
}

TEST(MsgPackQueueTest, MessageSplitOverSeveralPiecesIsAssembledInOneNode)
{
    CMsgPackQueue q;
    std::string body(3000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
    const std::string m = Message(9, body) + Message(10, "next");

    Push r = PushAll(q, m.substr(0, 1000));
    EXPECT_EQ(r.result, PUSH_OK);
    EXPECT_EQ(r.consumed, 1000u);
    EXPECT_TRUE(q.IsTailIncomplete());
    r = PushAll(q, m.substr(1000, 1500));
    EXPECT_EQ(r.result, PUSH_OK);
    EXPECT_EQ(r.id, 9u);
    EXPECT_EQ(r.copied, 2500u);
    EXPECT_TRUE(q.IsTailIncomplete());
    r = PushAll(q, m.substr(2500));
    EXPECT_EQ(r.result, PUSH_OK);
    EXPECT_EQ(r.consumed, m.size() - 2500);
    EXPECT_FALSE(q.IsTailIncomplete());
    ASSERT_EQ(q.Count(), 2u);
    EXPECT_EQ(Body(q.Front()), Message(9, body));
    EXPECT_EQ(Body(q.Back()), Message(10, "next"));
}

TEST(MsgPackQueueTest, BadLengthsAreReportedWithTheBytesLeftToTheCaller)
{
    CMsgPackQueue q;
    Push r = PushAll(q, Message(1, "ok") + Header(0, 0x1234) + "tail");
    EXPECT_EQ(r.result, PUSH_ZERO_LENGTH);
    EXPECT_EQ(r.id, 0x1234u);
    EXPECT_EQ(r.consumed, 9u);
    EXPECT_EQ(r.remaining, 11u);
    EXPECT_EQ(q.Count(), 1u);

    r = PushAll(q, Header(MSG_MAX_LENGTH + 1, 7));
    EXPECT_EQ(r.result, PUSH_TOO_LONG);
    EXPECT_EQ(r.headerLength, MSG_MAX_LENGTH + 1);
    EXPECT_EQ(r.consumed, 0u);

    // A length below the header's own size cannot be framed at all.
    r = PushAll(q, Header(6, 8) + "123456");
    EXPECT_EQ(r.result, PUSH_REJECTED);

    // The largest length is accepted.
    r = PushAll(q, Header(MSG_MAX_LENGTH, 11));
    EXPECT_EQ(r.result, PUSH_OK);
    EXPECT_EQ(q.Back()->length, MSG_MAX_LENGTH);
    EXPECT_TRUE(q.IsTailIncomplete());

    Push none{};
    std::uint32_t zero = 0;
    EXPECT_EQ(q.PushData(nullptr, zero, none.remaining, none.id, none.headerLength, none.copied, none.tailFlag),
              PUSH_NULL_DATA);
    EXPECT_EQ(q.PushData("x", zero, none.remaining, none.id, none.headerLength, none.copied, none.tailFlag),
              PUSH_NO_DATA);
}

TEST(MsgPackQueueTest, WaitingTailThatWasTakenAwayIsReported)
{
    CMsgPackQueue q;
    const std::string m = Message(3, std::string(100, 'a'));
    ASSERT_EQ(PushAll(q, m.substr(0, 50)).result, PUSH_OK);
    q.Clear();
    Push r = PushAll(q, m.substr(50));
    EXPECT_EQ(r.result, PUSH_TAIL_MISSING);
    EXPECT_EQ(r.tailFlag, 1u);
    EXPECT_EQ(r.consumed, 0u);
    EXPECT_FALSE(q.IsTailIncomplete());
}

TEST(MsgPackQueueTest, ConsumeTakesBytesOutOfTheFrontMessage)
{
    CMsgPackQueue q;
    EXPECT_FALSE(q.Consume(1));
    const std::string m = Message(4, "0123456789");
    ASSERT_TRUE(q.AddMessage(m.data(), 0));
    EXPECT_TRUE(q.Consume(10));
    EXPECT_EQ(q.Front()->readPos, 10u);
    EXPECT_FALSE(q.Consume(8));  // more than is left
    EXPECT_TRUE(q.Consume(7));   // exactly the rest
    EXPECT_EQ(q.Count(), 0u);
    EXPECT_EQ(q.Bytes(), 0u);
    EXPECT_EQ(q.LastId(), 4u);
    EXPECT_EQ(q.LastFilled(), 17u);
}

TEST(StreamScrambleTest, KeyFollowsThePreviousPlainByte)
{
    char bytes[] = {0x41, 0x42, 0x43};
    std::uint8_t key = SCRAMBLE_INITIAL_KEY;
    ScrambleStream(key, bytes, 3);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[0]), 0x41 ^ 0x6D);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[1]), 0x42 ^ 0x41);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[2]), 0x43 ^ 0x42);
    EXPECT_EQ(key, 0x43);

    // Pieces scramble like the whole: the key carries across calls.
    std::string plain = "The link stream is scrambled as a whole.";
    std::string whole = plain;
    std::uint8_t k1 = SCRAMBLE_INITIAL_KEY;
    ScrambleStream(k1, &whole[0], static_cast<std::uint32_t>(whole.size()));
    std::string pieces = plain;
    std::uint8_t k2 = SCRAMBLE_INITIAL_KEY;
    ScrambleStream(k2, &pieces[0], 5);
    ScrambleStream(k2, &pieces[5], 1);
    ScrambleStream(k2, &pieces[6], static_cast<std::uint32_t>(pieces.size() - 6));
    EXPECT_EQ(pieces, whole);

    std::uint8_t k3 = SCRAMBLE_INITIAL_KEY;
    UnscrambleStream(k3, &whole[0], 7);
    UnscrambleStream(k3, &whole[7], static_cast<std::uint32_t>(whole.size() - 7));
    EXPECT_EQ(whole, plain);
}

TEST(SerializerTest, WriteThatWouldOverflowFailsAndWritesNothing)
{
    char buffer[8] = {};
    CSerializer s(buffer, 6);
    EXPECT_TRUE(s.WirteData("abcd", 4));
    EXPECT_TRUE(s.WirteData(nullptr, 0));
    EXPECT_FALSE(s.WirteData("xyz", 3));
    EXPECT_TRUE(s.IsFailed());
    EXPECT_EQ(s.GetErrorText(), "WirteData (m_nCurByte + len) > m_nMaxByte");
    EXPECT_EQ(s.GetCurByte(), 4u);
    EXPECT_EQ(buffer[4], 0);
    EXPECT_FALSE(s.WirteData("x", 0xFFFFFFFFu));  // no wrap-around past the check
    EXPECT_TRUE(s.WirteData("xy", 2));
    EXPECT_EQ(std::string(buffer, 6), "abcdxy");

    CSerializer owned(3);
    EXPECT_TRUE(owned.WirteData("abc", 3));
    EXPECT_EQ(std::string(owned.GetBuffer(), 3), "abc");
}

TEST(PackMsgBaseTest, HeaderFirstThenBodyWithTheLengthKeptCurrent)
{
    CPackMsgBase msg(0x0102, 2);
    EXPECT_EQ(msg.GetMsgLength(), 7u);
    EXPECT_EQ(std::string(msg.GetMsg(), 7), Header(7, 0x0102, 2));
    const std::uint32_t value = 0xA1B2C3D4;
    ASSERT_TRUE(msg.WirteData(&value, 4));
    ASSERT_TRUE(msg.WirteData("xyz", 3));
    EXPECT_EQ(std::string(msg.GetMsg(), msg.GetMsgLength()), Header(14, 0x0102, 2) + "\xD4\xC3\xB2\xA1xyz");

    // A message never grows past its capacity, and a refused write leaves it whole.
    CPackMsgBase small(1, 0, 4);
    EXPECT_TRUE(small.WirteData("abcd", 4));
    EXPECT_FALSE(small.WirteData("e", 1));
    EXPECT_EQ(ReadLe32(small.GetMsg()), 11u);

    char buffer[9];
    CPackMsgBase borrowed(buffer, sizeof buffer, 3, 1);
    EXPECT_TRUE(borrowed.WirteData("ab", 2));
    EXPECT_FALSE(borrowed.WirteData("c", 1));
    EXPECT_EQ(std::string(buffer, 9), Header(9, 3, 1) + "ab");

    CMsgPackQueue q;
    EXPECT_TRUE(q.AddMessage(msg.GetMsg(), 0));
    EXPECT_EQ(q.Front()->length, 14u);
}
