// Ed25519 signatures in the minisign format: public key lines, .minisig
// files (prehashed "ED" only), their trusted comments, and the streamed
// BLAKE2b-512 digest they sign. Platform-neutral: the bytes come from the
// caller, the cryptography from libsodium.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <sodium.h>

const std::size_t kMinisignKeyIdBytes = 8;
const std::size_t kMinisignPublicKeyBytes = 32;
const std::size_t kMinisignSignatureBytes = 64;
const std::size_t kMinisignDigestBytes = 64;
// A .minisig of minisign's largest comments is below this; more is refused.
const std::size_t kMaxMinisigBytes = 16u << 10;

struct SMinisignKey {
    unsigned char keyId[kMinisignKeyIdBytes] = {};
    unsigned char publicKey[kMinisignPublicKeyBytes] = {};
};

// The base64 line of a .pub file (its second line), surrounding blanks
// ignored; false when it is not an Ed25519 key of the expected length.
bool ParseMinisignPublicKey(const std::string& line, SMinisignKey* out);
// The key id as minisign prints it (16 upper-case hex digits).
std::string MinisignKeyIdText(const unsigned char keyId[kMinisignKeyIdBytes]);

struct SMinisig {
    unsigned char keyId[kMinisignKeyIdBytes] = {};
    unsigned char signature[kMinisignSignatureBytes] = {};
    std::string trustedComment;  // after "trusted comment: "
    unsigned char globalSignature[kMinisignSignatureBytes] = {};
};

// Every way a signature can fail, each logged in its own words.
enum EMinisigResult {
    MINISIG_OK,
    MINISIG_MALFORMED,          // not the four lines, bad base64 or lengths, too large
    MINISIG_LEGACY,             // "Ed": the whole file signed, not its digest
    MINISIG_UNKNOWN_KEY,        // the key id is none of the trusted keys
    MINISIG_BAD_SIGNATURE,      // the digest's signature does not verify
    MINISIG_BAD_GLOBAL,         // the trusted comment's signature does not verify
    MINISIG_WRONG_FILE,         // the trusted comment names another file, or none
    MINISIG_NO_TIMESTAMP,       // the trusted comment has no usable timestamp
    MINISIG_OLDER,              // older than the last accepted one
    MINISIG_EXPIRED,            // its expiry time has passed
    MINISIG_REPLAYED,           // its sequence number is below the last accepted
};
const char* MinisigResultText(EMinisigResult result);

// Reads a .minisig file's bytes; lines may end in CRLF.
EMinisigResult ReadMinisig(const void* data, std::size_t size, SMinisig* out);

// Checks both signatures against the trusted keys.
EMinisigResult VerifyMinisig(const SMinisig& sig, const std::vector<SMinisignKey>& keys,
                             const unsigned char digest[kMinisignDigestBytes]);

// A tab-separated "name:value" field of a trusted comment; false when absent.
bool TrustedCommentField(const std::string& comment, const std::string& name, std::string* value);
// The comment must name fileName (ASCII case ignored: the server is asked in
// lower case); with needTimestamp its timestamp must be there and not below
// notBefore. *timestamp gets the comment's timestamp (0 without one).
EMinisigResult CheckTrustedComment(const std::string& comment, const std::string& fileName, bool needTimestamp,
                                   std::uint64_t notBefore, std::uint64_t* timestamp);

// The freshness fields of a trusted comment, "sequence:N" and "expires:T"
// (seconds since 1970): an expiry before now refuses it, and so does a
// sequence below minSequence (a missing one counts as 0). *sequence gets the
// comment's sequence.
EMinisigResult CheckFreshness(const std::string& comment, std::uint64_t minSequence, std::uint64_t now,
                              std::uint64_t* sequence);

// BLAKE2b-512 over bytes that arrive piece by piece.
class CBlake2bStream {
public:
    CBlake2bStream();
    void Update(const void* data, std::size_t size);
    void Final(unsigned char digest[kMinisignDigestBytes]);

private:
    crypto_generichash_state m_state;
};

// Standard base64 with padding, as minisign writes it.
std::string MinisignBase64(const void* data, std::size_t size);
