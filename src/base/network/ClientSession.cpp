#include "ClientSession.h"

#include <cwchar>

#include "StreamScramble.h"
#include "base/utility/StrConv.h"

namespace Base {
namespace NetWork {

CClientSession::CClientSession(std::uint32_t size)
    : CTcpClient(size),
      m_recvStage(size),
      m_sendStage(size),
      m_nSendKey(SCRAMBLE_INITIAL_KEY),
      m_nRecvKey(SCRAMBLE_INITIAL_KEY)
{
}

CClientSession::~CClientSession() {}

bool CClientSession::Send(const char* message)
{
    if (message == nullptr) return false;
    const std::uint8_t sendClass = static_cast<std::uint8_t>(message[6]);
    if (sendClass > 2) return false;
    // Limits are kept for classes 2, 1, 0 in that order.
    if (m_sendQueue.Count() > m_arrSendLimits[2 - sendClass]) return false;
    return m_sendQueue.AddMessage(message, 0);
}

bool CClientSession::EnCode(char* pIn, std::uint32_t nIn, char*& pOut, std::uint32_t& nOut)
{
    ScrambleStream(m_nSendKey, pIn, nIn);
    pOut = pIn;
    nOut = nIn;
    return true;
}

bool CClientSession::DeCode(char* pIn, std::uint32_t nIn, char*& pOut, std::uint32_t& nOut)
{
    UnscrambleStream(m_nRecvKey, pIn, nIn);
    pOut = pIn;
    nOut = nIn;
    return true;
}

std::uint32_t CClientSession::Frame(const char* data, std::uint32_t n, EFrameStep step)
{
    std::uint32_t consumed = n;
    std::uint32_t remaining = 0;
    std::uint16_t id = 0;
    std::uint32_t headerLength = 0;
    std::uint32_t copied = 0;
    std::uint8_t tailFlag = 0;
    const int result = m_recvQueue.PushData(data, consumed, remaining, id, headerLength, copied, tailFlag);
    if (result == PUSH_OK) {
        m_bParseErrorOnce = 0;
        return consumed;
    }
    // One framing error is tolerated; the next one in a row closes.
    const bool second = m_bParseErrorOnce != 0;
    const unsigned number = second ? step : step + 1;
    wchar_t text[512];
    std::swprintf(text, 512,
                  L"CClientSession::OnGetData -- PushData Error%u %u %u %u %u %u %u %u %u %u %u %u", number,
                  n, consumed, remaining, unsigned(id), headerLength, copied, unsigned(tailFlag),
                  unsigned(m_recvQueue.LastId()), m_recvQueue.LastLength(), m_recvQueue.LastFilled(),
                  m_recvQueue.LastHeaderLength());
    OnError(result, Utility::WideToAnsi(text).c_str());
    if (second) {
        Close();
        m_bParseErrorOnce = 0;
    } else {
        m_bParseErrorOnce = 1;
    }
    return consumed;
}

bool CClientSession::OnGetData(char* data, std::uint32_t n)
{
    if (m_bEncode) {
        char* out = nullptr;
        std::uint32_t outLength = 0;
        if (!DeCode(data, n, out, outLength)) {
            OnError(-1, "CClientSession::OnGetData -- DeCode Error");
            return false;
        }
        data = out;
        n = outLength;
    }

    if (m_recvStage.GetLength() > 0) {
        // A header that was cut off waits in the stage for the rest.
        const std::uint32_t fitted = m_recvStage.Append(data, n);
        std::uint32_t taken = Frame(m_recvStage.GetData(), m_recvStage.GetLength(), FRAME_STAGED);
        if (taken) m_recvStage.Consume(taken);
        if (fitted < n) {
            m_recvStage.Append(data + fitted, n - fitted);
            taken = Frame(m_recvStage.GetData(), m_recvStage.GetLength(), FRAME_STAGE_REST);
            if (taken) m_recvStage.Consume(taken);
        }
    } else {
        const std::uint32_t taken = Frame(data, n, FRAME_RECEIVED);
        if (taken < n) m_recvStage.Append(data + taken, n - taken);
    }

    if (IsRecvEnabled() &&
        (m_recvQueue.Count() >= m_nRecvLimit || m_recvQueue.Bytes() >= m_nRecvByteLimit))
        SetRecvEnabled(false);
    return true;
}

void CClientSession::OnPrepareSendData()
{
    for (;;) {
        if (m_sendStage.GetLength() == 0) {
            for (;;) {
                tagMsgPackNode* node = m_sendQueue.Front();
                if (node == nullptr) break;
                const std::uint32_t room = m_sendStage.GetCapacity() - m_sendStage.GetLength();
                if (room < 8) break;
                const std::uint32_t left = node->length - node->readPos;
                const std::uint32_t take = left < room ? left : room;
                m_sendStage.Append(node->body + node->readPos, take);
                m_sendQueue.Consume(take);
            }
            if (m_sendStage.GetLength() == 0) return;
            // Scrambled once, on entering the stage, so the key follows the
            // byte order on the wire.
            if (m_bEncode) {
                char* out = nullptr;
                std::uint32_t outLength = 0;
                if (!EnCode(m_sendStage.GetData(), m_sendStage.GetLength(), out, outLength)) {
                    Close();
                    OnError(-1, "CClientSession::OnPrepareSendData -- EnCode error!");
                    return;
                }
            }
        }
        const std::uint32_t taken = AppendSendData(m_sendStage.GetData(), m_sendStage.GetLength());
        if (taken) m_sendStage.Consume(taken);
        if (m_sendStage.GetLength() > 0) return;
    }
}

}  // namespace NetWork
}  // namespace Base
