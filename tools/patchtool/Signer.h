// The operator's side of signatures: minisign-compatible key pairs (the
// secret key unencrypted, as minisign -G -W writes it) and .minisig files.
#pragma once

#include <cstdint>
#include <string>

#include "transfer/Minisign.h"

// NAME.pub and NAME.key; false with error when either cannot be written or
// already exists (a key is never overwritten).
bool WriteKeyPair(const std::string& name, std::string* error);

class CSigner {
public:
    CSigner() = default;
    CSigner(const CSigner&) = delete;
    CSigner& operator=(const CSigner&) = delete;
    ~CSigner() { sodium_memzero(m_secret, sizeof m_secret); }
    // An unencrypted minisign secret key file.
    bool Load(const std::string& keyPath, std::string* error);
    // FILE.minisig with the trusted comment "timestamp:T\tfile:NAME" (T: now
    // when timestamp is 0), NAME the file's own name, and extra fields
    // ("\tname:value"...) after them.
    bool SignFile(const std::string& path, std::uint64_t timestamp, std::string* error,
                  const std::string& extra = "") const;
    const SMinisignKey& PublicKey() const { return m_public; }

private:
    SMinisignKey m_public;
    unsigned char m_secret[crypto_sign_SECRETKEYBYTES] = {};
};
