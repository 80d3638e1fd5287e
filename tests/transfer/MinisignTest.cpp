// Signature files: what the reader accepts, and every way a signature is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "TestUtil.h"
#include "transfer/Minisign.h"

namespace {

// A key pair made here, so that tests can sign whatever they like.
struct STestKey {
    STestKey()
    {
        if (sodium_init() < 0) ADD_FAILURE() << "libsodium";
        crypto_sign_keypair(key.publicKey, secret);
        randombytes_buf(key.keyId, sizeof key.keyId);
    }
    std::string PublicLine() const
    {
        std::string raw = "Ed" + std::string(reinterpret_cast<const char*>(key.keyId), kMinisignKeyIdBytes) +
                          std::string(reinterpret_cast<const char*>(key.publicKey), kMinisignPublicKeyBytes);
        return MinisignBase64(raw.data(), raw.size());
    }
    // A .minisig of message under algorithm ("ED": its BLAKE2b-512; "Ed": itself).
    std::string Sign(const std::string& message, const std::string& comment, const char* algorithm = "ED") const
    {
        unsigned char digest[kMinisignDigestBytes];
        crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(message.data()),
                           message.size(), nullptr, 0);
        const bool hashed = std::strcmp(algorithm, "ED") == 0;
        unsigned char sig[kMinisignSignatureBytes], global[kMinisignSignatureBytes];
        crypto_sign_detached(sig, nullptr, hashed ? digest : reinterpret_cast<const unsigned char*>(message.data()),
                             hashed ? sizeof digest : message.size(), secret);
        const std::string signedPart = std::string(reinterpret_cast<const char*>(sig), sizeof sig) + comment;
        crypto_sign_detached(global, nullptr, reinterpret_cast<const unsigned char*>(signedPart.data()),
                             signedPart.size(), secret);
        const std::string line = algorithm + std::string(reinterpret_cast<const char*>(key.keyId), kMinisignKeyIdBytes) +
                                 std::string(reinterpret_cast<const char*>(sig), sizeof sig);
        return "untrusted comment: test\n" + MinisignBase64(line.data(), line.size()) + "\ntrusted comment: " +
               comment + "\n" + MinisignBase64(global, sizeof global) + "\n";
    }
    SMinisignKey key;
    unsigned char secret[crypto_sign_SECRETKEYBYTES];
};

// Reads and verifies sig over message as the engine does (file name "a.zip").
EMinisigResult Check(const std::string& sig, const std::string& message, const std::vector<SMinisignKey>& keys)
{
    SMinisig parsed;
    EMinisigResult r = ReadMinisig(sig.data(), sig.size(), &parsed);
    if (r != MINISIG_OK) return r;
    unsigned char digest[kMinisignDigestBytes];
    CBlake2bStream hash;
    // In uneven pieces, as a file arrives from its reads.
    for (size_t at = 0; at < message.size(); at += 7) hash.Update(message.data() + at, std::min<size_t>(7, message.size() - at));
    hash.Final(digest);
    r = VerifyMinisig(parsed, keys, digest);
    std::uint64_t t = 0;
    return r == MINISIG_OK ? CheckTrustedComment(parsed.trustedComment, "a.zip", true, 100, &t) : r;
}

}  // namespace

TEST(MinisignTest, OnlyAnIntactSignatureByATrustedKeyOfThisFileIsAccepted)
{
    const STestKey a, b, c;
    const std::string message(5000, 'x');
    const std::string good = a.Sign(message, "timestamp:200\tfile:a.zip");
    const std::string longComment(kMaxMinisigBytes, 'c');
    const struct { std::string sig, message; EMinisigResult result; } cases[] = {
        {good, message, MINISIG_OK},
        {Replaced(good, "\n", "\r\n", true) + "\r\n \r\n", message, MINISIG_OK},  // CRLF, blank lines
        {good.substr(0, good.size() - 1), message, MINISIG_OK},  // no final line end
        {b.Sign(message, "timestamp:200\tfile:a.zip"), message, MINISIG_OK},      // the second key: rotation
        {c.Sign(message, "timestamp:200\tfile:a.zip"), message, MINISIG_UNKNOWN_KEY},
        {good, message + "y", MINISIG_BAD_SIGNATURE},                             // tampered file
        {Replaced(good, "timestamp:200", "timestamp:900"), message, MINISIG_BAD_GLOBAL},
        {a.Sign(message, "timestamp:200\tfile:b.zip"), message, MINISIG_WRONG_FILE},
        {a.Sign(message, "timestamp:200\tfile:a.zip.exe"), message, MINISIG_WRONG_FILE},
        {a.Sign(message, "timestamp:200\txfile:a.zip"), message, MINISIG_WRONG_FILE},
        {a.Sign(message, "timestamp:200"), message, MINISIG_WRONG_FILE},
        {a.Sign(message, "file:a.zip"), message, MINISIG_NO_TIMESTAMP},
        {a.Sign(message, "timestamp:2x0\tfile:a.zip"), message, MINISIG_NO_TIMESTAMP},
        {a.Sign(message, "timestamp:99999999999999999999\tfile:a.zip"), message, MINISIG_NO_TIMESTAMP},
        {a.Sign(message, "timestamp:99\tfile:a.zip"), message, MINISIG_OLDER},
        {a.Sign(message, "timestamp:100\tfile:A.ZIP\thashed"), message, MINISIG_OK},  // the same time again
        {a.Sign(message, "timestamp:200\tfile:a.zip", "Ed"), message, MINISIG_LEGACY},
        {a.Sign(message, "timestamp:200\tfile:a.zip", "EX"), message, MINISIG_MALFORMED},
        {a.Sign(message, longComment), message, MINISIG_MALFORMED},  // past the size bound
        {"", message, MINISIG_MALFORMED},
        {good.substr(0, good.size() / 2), message, MINISIG_MALFORMED},
        {good.substr(0, good.rfind('\n', good.size() - 2) + 1), message, MINISIG_MALFORMED},  // three lines
        {good + "more\n", message, MINISIG_MALFORMED},
        {Replaced(good, "untrusted comment: ", "comment: "), message, MINISIG_MALFORMED},
        {Replaced(good, "trusted comment: t", "trusted-comment: t"), message, MINISIG_MALFORMED},
        {Replaced(good, "\ntrusted", "==\ntrusted"), message, MINISIG_MALFORMED},  // padding too long
        {Replaced(good, "\ntrusted", "A\ntrusted"), message, MINISIG_MALFORMED},
        {Replaced(good, "\ntrusted", std::string("\0\ntrusted", 9)), message, MINISIG_MALFORMED},
        {std::string(300, '\xFF'), message, MINISIG_MALFORMED},
    };
    for (const auto& k : cases)
        EXPECT_EQ(Check(k.sig, k.message, {a.key, b.key}), k.result) << k.sig;
    EXPECT_EQ(Check(good, message, {}), MINISIG_UNKNOWN_KEY);
}

TEST(MinisignTest, PublicKeyLinesMustBeEd25519KeysOfTheirLength)
{
    const STestKey a;
    SMinisignKey read;
    ASSERT_TRUE(ParseMinisignPublicKey("  " + a.PublicLine() + "\r\n", &read));
    EXPECT_EQ(std::memcmp(read.keyId, a.key.keyId, kMinisignKeyIdBytes), 0);
    EXPECT_EQ(std::memcmp(read.publicKey, a.key.publicKey, kMinisignPublicKeyBytes), 0);
    const std::string line = a.PublicLine();
    for (const std::string& bad : {std::string(), line.substr(4), line + "AAAA", "RWQ" + line.substr(3, 20),
                                   "RUR" + line.substr(3), std::string("untrusted comment: minisign public key")})
        EXPECT_FALSE(ParseMinisignPublicKey(bad, &read)) << bad;
}
