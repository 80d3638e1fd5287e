// Turns a client's byte stream into framed messages and back. Outgoing
// messages wait in sendQueue, are copied into sendStage, scrambled as one
// stream and handed to the engine; incoming bytes are unscrambled, cut into
// messages by their header's length and appended to recvQueue.
#pragma once

#include <atomic>
#include <cstdint>

// Winsock's header must come before windows.h.
#include "OverlappedBuff.h"
#include "TcpClient.h"
#include "MsgPackQueue.h"

namespace Base {
namespace NetWork {

class CClientSession : public CTcpClient {
public:
    enum : std::uint32_t {
        DEFAULT_SIZE = 8192,
        SEND_LIMIT_CLASS2 = 10000,
        SEND_LIMIT_CLASS1 = 20000,
        SEND_LIMIT_CLASS0 = 50000,
        RECV_LIMIT = 50000,
        // Nothing reads the receive queue, so it is bounded by its bytes as
        // well: 50000 messages of 1 MiB would be 50 GB.
        RECV_BYTE_LIMIT = 16u << 20,
    };

    explicit CClientSession(std::uint32_t size = DEFAULT_SIZE);
    ~CClientSession() override;

    // Queues one complete wire message (header first). Refused for a send
    // class other than 0, 1 or 2, or when the queue already holds more than
    // the class's limit.
    bool Send(const char* message);

    // In place; the same pointer and length come back.
    virtual bool EnCode(char* pIn, std::uint32_t nIn, char*& pOut, std::uint32_t& nOut);
    virtual bool DeCode(char* pIn, std::uint32_t nIn, char*& pOut, std::uint32_t& nOut);

    bool OnGetData(char* data, std::uint32_t n) override;
    void OnPrepareSendData() override;

    void SetEncode(bool on) { m_bEncode = on; }
    bool IsEncode() const { return m_bEncode; }
    CMsgPackQueue& SendQueue() { return m_sendQueue; }
    CMsgPackQueue& RecvQueue() { return m_recvQueue; }
    std::uint32_t StagedRecvBytes() const { return m_recvStage.GetLength(); }

protected:
    // Where the framing runs; names its error texts: "Error1" (a second
    // error in a row "Error2") for a received piece, "Error3"/"Error4" for
    // the stage behind a cut-off header, "Error5" for what did not fit it.
    enum EFrameStep : unsigned { FRAME_RECEIVED = 1, FRAME_STAGED = 3, FRAME_STAGE_REST = 5 };

    // Runs the framing over bytes, reports a nonzero result and returns the
    // bytes taken.
    std::uint32_t Frame(const char* data, std::uint32_t n, EFrameStep step);

    CMsgPackQueue m_sendQueue;
    CMsgPackQueue m_recvQueue;
    COverlappedBuff m_recvStage;
    COverlappedBuff m_sendStage;
    std::uint32_t m_arrSendLimits[3] = {SEND_LIMIT_CLASS2, SEND_LIMIT_CLASS1, SEND_LIMIT_CLASS0};
    std::uint32_t m_nRecvLimit = RECV_LIMIT;
    std::uint64_t m_nRecvByteLimit = RECV_BYTE_LIMIT;
    std::uint8_t m_bParseErrorOnce = 0;
    std::atomic<bool> m_bEncode{false};  // read by the workers
    std::uint8_t m_nSendKey;
    std::uint8_t m_nRecvKey;
};

}  // namespace NetWork
}  // namespace Base
