#include "Signer.h"

#include "Utf8File.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The secret key file's fields, in minisign's order.
const size_t kSaltBytes = 32;
const size_t kKdfHeaderBytes = 2 + 2 + 2 + kSaltBytes + 8 + 8;
const size_t kSecretBlobBytes = kKdfHeaderBytes + kMinisignKeyIdBytes + crypto_sign_SECRETKEYBYTES + 32;

// minisign's check of a secret key: BLAKE2b-256 of algorithm, key id, key.
void SecretKeyCheck(const unsigned char* keyId, const unsigned char* secret, unsigned char out[32])
{
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, 32);
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>("Ed"), 2);
    crypto_generichash_update(&state, keyId, kMinisignKeyIdBytes);
    crypto_generichash_update(&state, secret, crypto_sign_SECRETKEYBYTES);
    crypto_generichash_final(&state, out, 32);
}

bool WriteNewFile(const fs::path& path, const std::string& text, std::string* error)
{
    std::error_code ec;
    if (fs::exists(path, ec)) {
        *error = path.u8string() + " exists; a key is never overwritten";
        return false;
    }
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) *error = "cannot write " + path.u8string();
    return static_cast<bool>(out);
}

std::string LineAfterComment(const std::string& path, std::string* error)
{
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::string comment, line;
    if (!in || !std::getline(in, comment) || !std::getline(in, line)) {
        *error = "cannot read " + path;
        return "";
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

bool WriteKeyPair(const std::string& name, std::string* error)
{
    if (sodium_init() < 0) {
        *error = "libsodium cannot start";
        return false;
    }
    unsigned char keyId[kMinisignKeyIdBytes], pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
    randombytes_buf(keyId, sizeof keyId);
    crypto_sign_keypair(pk, sk);

    std::vector<unsigned char> pub;
    pub.insert(pub.end(), {'E', 'd'});
    pub.insert(pub.end(), keyId, keyId + sizeof keyId);
    pub.insert(pub.end(), pk, pk + sizeof pk);
    // Unencrypted ("\0\0" key derivation), like minisign -G -W.
    std::vector<unsigned char> sec(kSecretBlobBytes, 0);
    std::memcpy(&sec[0], "Ed\0\0B2", 6);
    std::memcpy(&sec[kKdfHeaderBytes], keyId, sizeof keyId);
    std::memcpy(&sec[kKdfHeaderBytes + sizeof keyId], sk, sizeof sk);
    SecretKeyCheck(keyId, sk, &sec[kKdfHeaderBytes + sizeof keyId + sizeof sk]);
    sodium_memzero(sk, sizeof sk);

    const std::string id = MinisignKeyIdText(keyId);
    const std::string secText = "untrusted comment: minisign secret key " + id + " (unencrypted)\n" +
                                MinisignBase64(sec.data(), sec.size()) + "\n";
    sodium_memzero(sec.data(), sec.size());
    return WriteNewFile(fs::u8path(name + ".pub"),
                        "untrusted comment: minisign public key " + id + "\n" + MinisignBase64(pub.data(), pub.size()) + "\n",
                        error) &&
           !fs::exists(fs::u8path(name + ".key")) && WriteOwnerOnlyFile(name + ".key", secText, error);
}

bool CSigner::Load(const std::string& keyPath, std::string* error)
{
    if (sodium_init() < 0) {
        *error = "libsodium cannot start";
        return false;
    }
    const std::string line = LineAfterComment(keyPath, error);
    if (line.empty()) {
        if (error->empty()) *error = keyPath + " holds no key";
        return false;
    }
    std::vector<unsigned char> sec(kSecretBlobBytes);
    size_t got = 0;
    if (sodium_base642bin(sec.data(), sec.size(), line.data(), line.size(), nullptr, &got, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        got != sec.size() || std::memcmp(&sec[0], "Ed", 2) != 0 || std::memcmp(&sec[4], "B2", 2) != 0) {
        *error = keyPath + " is not a minisign secret key";
        return false;
    }
    if (sec[2] != 0 || sec[3] != 0) {
        *error = keyPath + " is encrypted: sign with minisign -S, or make an unencrypted key (minisign -G -W)";
        return false;
    }
    const unsigned char* keyId = &sec[kKdfHeaderBytes];
    const unsigned char* sk = keyId + kMinisignKeyIdBytes;
    const unsigned char* check = sk + crypto_sign_SECRETKEYBYTES;
    unsigned char expected[32];
    SecretKeyCheck(keyId, sk, expected);
    // minisign -G -W leaves the check zero.
    static const unsigned char kZero[32] = {};
    if (std::memcmp(check, expected, 32) != 0 && std::memcmp(check, kZero, 32) != 0) {
        *error = keyPath + " is damaged: its check does not match";
        return false;
    }
    std::memcpy(m_public.keyId, keyId, kMinisignKeyIdBytes);
    std::memcpy(m_secret, sk, sizeof m_secret);
    crypto_sign_ed25519_sk_to_pk(m_public.publicKey, m_secret);
    sodium_memzero(sec.data(), sec.size());
    if (ReadableByOthers(keyPath))
        std::fprintf(stderr, "patchtool: warning: %s is readable by others than its owner: whoever reads it can sign "
                             "updates (chmod 600, or limit its access list to you)\n", keyPath.c_str());
    return true;
}

bool CSigner::SignFile(const std::string& path, std::uint64_t timestamp, std::string* error,
                       const std::string& extra) const
{
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    CBlake2bStream hash;
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash.Update(buffer.data(), static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        *error = "cannot read " + path;
        return false;
    }
    unsigned char digest[kMinisignDigestBytes];
    hash.Final(digest);

    unsigned char line[2 + kMinisignKeyIdBytes + kMinisignSignatureBytes];
    std::memcpy(line, "ED", 2);
    std::memcpy(line + 2, m_public.keyId, kMinisignKeyIdBytes);
    unsigned char* signature = line + 2 + kMinisignKeyIdBytes;
    crypto_sign_detached(signature, nullptr, digest, sizeof digest, m_secret);

    if (timestamp == 0) timestamp = static_cast<std::uint64_t>(std::time(nullptr));
    const std::string comment =
        "timestamp:" + std::to_string(timestamp) + "\tfile:" + fs::u8path(path).filename().u8string() + extra;
    std::string global(reinterpret_cast<const char*>(signature), kMinisignSignatureBytes);
    global += comment;
    unsigned char globalSignature[kMinisignSignatureBytes];
    crypto_sign_detached(globalSignature, nullptr, reinterpret_cast<const unsigned char*>(global.data()),
                         global.size(), m_secret);

    const fs::path out = fs::u8path(path + ".minisig");
    std::ofstream file(out, std::ios::binary);
    file << "untrusted comment: signature from patchtool secret key\n"
         << MinisignBase64(line, sizeof line) << "\n"
         << "trusted comment: " << comment << "\n"
         << MinisignBase64(globalSignature, sizeof globalSignature) << "\n";
    file.close();
    if (!file) *error = "cannot write " + out.u8string();
    return static_cast<bool>(file);
}
