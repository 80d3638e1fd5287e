#include "SignatureCheck.h"

#include <algorithm>

#include "UpdateEngine.h"

void CSignatureCheck::Configure(bool enabled, std::uint64_t infoTimestamp, std::uint64_t qaInfoTimestamp,
                                std::uint64_t sequence, std::uint64_t qaSequence)
{
    m_bEnabled = enabled;
    m_nInfoTimestamp = infoTimestamp;
    m_nQaInfoTimestamp = qaInfoTimestamp;
    m_nSequence = sequence;
    m_nQaSequence = qaSequence;
}

// The test server's information keeps a time of its own.
std::uint64_t CSignatureCheck::AcceptedTimestamp() const { return g_bTestServer ? m_nQaInfoTimestamp : m_nInfoTimestamp; }

std::uint64_t CSignatureCheck::AcceptedSequence() const { return g_bTestServer ? m_nQaSequence : m_nSequence; }

bool CSignatureCheck::PendingIsNewer() const
{
    return !(m_nPendingInfoTimestamp <= AcceptedTimestamp() && m_nPendingSequence <= AcceptedSequence());
}

std::uint64_t CSignatureCheck::NewTimestamp() const { return std::max(AcceptedTimestamp(), m_nPendingInfoTimestamp); }

std::uint64_t CSignatureCheck::NewSequence() const { return std::max(AcceptedSequence(), m_nPendingSequence); }

void CSignatureCheck::AcceptPending()
{
    std::uint64_t& accepted = g_bTestServer ? m_nQaInfoTimestamp : m_nInfoTimestamp;
    std::uint64_t& sequence = g_bTestServer ? m_nQaSequence : m_nSequence;
    const std::uint64_t timestamp = NewTimestamp(), next = NewSequence();
    accepted = timestamp;
    sequence = next;
}
