// What downloads are checked against: the trusted keys, and the time and
// sequence number of the last accepted update information (the test
// server's apart), so that an older publication is refused as a replay.
#pragma once

#include <cstdint>
#include <vector>

#include "transfer/Minisign.h"

class CSignatureCheck {
public:
    // Verification is on once the configuration has a keys section, even one
    // whose keys do not parse.
    bool Enabled() const { return m_bEnabled; }
    const std::vector<SMinisignKey>& Keys() const { return m_vecTrustedKeys; }

    // Before the configuration is read again: no keys, nothing verified.
    void Reset()
    {
        m_vecTrustedKeys.clear();
        m_bEnabled = false;
    }
    // From the configuration's keys section: what was accepted before.
    void Configure(bool enabled, std::uint64_t infoTimestamp, std::uint64_t qaInfoTimestamp, std::uint64_t sequence,
                   std::uint64_t qaSequence);
    void AddKey(const SMinisignKey& key) { m_vecTrustedKeys.push_back(key); }

    // Of the last accepted update information of the server in use (-TS).
    std::uint64_t AcceptedTimestamp() const;
    std::uint64_t AcceptedSequence() const;

    // The update information being read: what its signature said, kept
    // until the information is accepted.
    void BeginInfo() { SetPending(0, 0); }
    void SetPending(std::uint64_t timestamp, std::uint64_t sequence)
    {
        m_nPendingInfoTimestamp = timestamp;
        m_nPendingSequence = sequence;
    }
    // The information read is newer than the accepted, by time or sequence.
    bool PendingIsNewer() const;
    // The accepted values once the information read is accepted.
    std::uint64_t NewTimestamp() const;
    std::uint64_t NewSequence() const;
    void AcceptPending();

private:
    std::vector<SMinisignKey> m_vecTrustedKeys;
    bool m_bEnabled = false;
    std::uint64_t m_nInfoTimestamp = 0;
    std::uint64_t m_nQaInfoTimestamp = 0;
    std::uint64_t m_nPendingInfoTimestamp = 0;
    std::uint64_t m_nSequence = 0, m_nQaSequence = 0, m_nPendingSequence = 0;
};
