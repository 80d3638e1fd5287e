#include "Minisign.h"

#include <cstring>

namespace {

const std::size_t kSigLineBytes = 2 + kMinisignKeyIdBytes + kMinisignSignatureBytes;
const std::size_t kPubLineBytes = 2 + kMinisignKeyIdBytes + kMinisignPublicKeyBytes;
const char kUntrusted[] = "untrusted comment: ";
const char kTrusted[] = "trusted comment: ";

// Picks libsodium's fastest implementations for this processor; safe to repeat.
void EnsureSodium()
{
    static const int s_ready = sodium_init();
    (void)s_ready;
}

std::string Trimmed(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// Exactly `size` bytes from a padded base64 line; nothing else on it.
bool DecodeExact(const std::string& text, unsigned char* out, size_t size)
{
    // Padded base64 of `size` bytes has exactly this many characters.
    if (text.size() != (size + 2) / 3 * 4) return false;
    size_t got = 0;
    const char* end = nullptr;
    if (sodium_base642bin(out, size, text.data(), text.size(), nullptr, &got, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return false;
    return got == size && end == text.data() + text.size();
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool SameAsciiNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

bool ParseMinisignPublicKey(const std::string& line, SMinisignKey* out)
{
    unsigned char raw[kPubLineBytes];
    if (!DecodeExact(Trimmed(line), raw, sizeof raw) || raw[0] != 'E' || raw[1] != 'd') return false;
    std::memcpy(out->keyId, raw + 2, kMinisignKeyIdBytes);
    std::memcpy(out->publicKey, raw + 2 + kMinisignKeyIdBytes, kMinisignPublicKeyBytes);
    return true;
}

std::string MinisignKeyIdText(const unsigned char keyId[kMinisignKeyIdBytes])
{
    // minisign prints the id as a little-endian number.
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = kMinisignKeyIdBytes; i-- > 0;) {
        text += kHex[keyId[i] >> 4];
        text += kHex[keyId[i] & 15];
    }
    return text;
}

const char* MinisigResultText(EMinisigResult result)
{
    switch (result) {
    case MINISIG_OK: return "verified";
    case MINISIG_MALFORMED: return "malformed signature file";
    case MINISIG_LEGACY: return "legacy signature algorithm refused";
    case MINISIG_UNKNOWN_KEY: return "signed by a key that is not trusted";
    case MINISIG_BAD_SIGNATURE: return "signature does not match the file";
    case MINISIG_BAD_GLOBAL: return "trusted comment signature does not verify";
    case MINISIG_WRONG_FILE: return "signature is for another file";
    case MINISIG_NO_TIMESTAMP: return "trusted comment has no timestamp";
    case MINISIG_OLDER: return "older than the update information already accepted";
    case MINISIG_EXPIRED: return "expired: its expiry time has passed (the publisher must refresh the release)";
    case MINISIG_REPLAYED: return "replayed: its sequence number is below the one already accepted";
    }
    return "?";
}

EMinisigResult ReadMinisig(const void* data, std::size_t size, SMinisig* out)
{
    *out = SMinisig();
    if (data == nullptr || size == 0 || size > kMaxMinisigBytes) return MINISIG_MALFORMED;
    const std::string text(static_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos) return MINISIG_MALFORMED;
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    // Four lines, then blank ones at most.
    while (lines.size() > 4 && Trimmed(lines.back()).empty()) lines.pop_back();
    if (lines.size() != 4 || !StartsWith(lines[0], kUntrusted) || !StartsWith(lines[2], kTrusted))
        return MINISIG_MALFORMED;

    unsigned char raw[kSigLineBytes];
    if (!DecodeExact(Trimmed(lines[1]), raw, sizeof raw)) return MINISIG_MALFORMED;
    if (raw[0] == 'E' && raw[1] == 'd') return MINISIG_LEGACY;
    if (raw[0] != 'E' || raw[1] != 'D') return MINISIG_MALFORMED;
    std::memcpy(out->keyId, raw + 2, kMinisignKeyIdBytes);
    std::memcpy(out->signature, raw + 2 + kMinisignKeyIdBytes, kMinisignSignatureBytes);
    out->trustedComment = lines[2].substr(sizeof kTrusted - 1);
    if (!DecodeExact(Trimmed(lines[3]), out->globalSignature, kMinisignSignatureBytes)) return MINISIG_MALFORMED;
    return MINISIG_OK;
}

EMinisigResult VerifyMinisig(const SMinisig& sig, const std::vector<SMinisignKey>& keys,
                             const unsigned char digest[kMinisignDigestBytes])
{
    EnsureSodium();
    const SMinisignKey* key = nullptr;
    for (const SMinisignKey& k : keys)
        if (std::memcmp(k.keyId, sig.keyId, kMinisignKeyIdBytes) == 0) key = &k;
    if (key == nullptr) return MINISIG_UNKNOWN_KEY;
    if (crypto_sign_verify_detached(sig.signature, digest, kMinisignDigestBytes, key->publicKey) != 0)
        return MINISIG_BAD_SIGNATURE;
    // The global signature binds the comment to this signature.
    std::string signedPart(reinterpret_cast<const char*>(sig.signature), kMinisignSignatureBytes);
    signedPart += sig.trustedComment;
    if (crypto_sign_verify_detached(sig.globalSignature, reinterpret_cast<const unsigned char*>(signedPart.data()),
                                    signedPart.size(), key->publicKey) != 0)
        return MINISIG_BAD_GLOBAL;
    return MINISIG_OK;
}

bool TrustedCommentField(const std::string& comment, const std::string& name, std::string* value)
{
    for (size_t at = 0; at <= comment.size();) {
        size_t end = comment.find('\t', at);
        if (end == std::string::npos) end = comment.size();
        const std::string field = comment.substr(at, end - at);
        if (field.size() > name.size() && field.compare(0, name.size(), name) == 0 && field[name.size()] == ':') {
            *value = field.substr(name.size() + 1);
            return true;
        }
        at = end + 1;
    }
    return false;
}

namespace {

// A field of digits only, no more than fit; 0 when missing or not a number.
std::uint64_t NumberField(const std::string& comment, const char* name)
{
    std::string text;
    if (!TrustedCommentField(comment, name, &text)) return 0;
    bool digits = !text.empty() && text.size() <= 19;
    std::uint64_t n = 0;
    for (char c : text) {
        digits = digits && c >= '0' && c <= '9';
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return digits ? n : 0;
}

}  // namespace

EMinisigResult CheckFreshness(const std::string& comment, std::uint64_t minSequence, std::uint64_t now,
                              std::uint64_t* sequence)
{
    *sequence = NumberField(comment, "sequence");
    std::string expires;
    if (TrustedCommentField(comment, "expires", &expires) && NumberField(comment, "expires") <= now)
        return MINISIG_EXPIRED;
    return *sequence < minSequence ? MINISIG_REPLAYED : MINISIG_OK;
}

EMinisigResult CheckTrustedComment(const std::string& comment, const std::string& fileName, bool needTimestamp,
                                   std::uint64_t notBefore, std::uint64_t* timestamp)
{
    std::string file;
    if (!TrustedCommentField(comment, "file", &file) || !SameAsciiNoCase(file, fileName)) return MINISIG_WRONG_FILE;
    *timestamp = NumberField(comment, "timestamp");
    if (!needTimestamp) return MINISIG_OK;
    if (*timestamp == 0) return MINISIG_NO_TIMESTAMP;
    return *timestamp < notBefore ? MINISIG_OLDER : MINISIG_OK;
}

CBlake2bStream::CBlake2bStream()
{
    EnsureSodium();
    crypto_generichash_init(&m_state, nullptr, 0, kMinisignDigestBytes);
}

void CBlake2bStream::Update(const void* data, std::size_t size)
{
    crypto_generichash_update(&m_state, static_cast<const unsigned char*>(data), size);
}

void CBlake2bStream::Final(unsigned char digest[kMinisignDigestBytes])
{
    crypto_generichash_final(&m_state, digest, kMinisignDigestBytes);
}

std::string MinisignBase64(const void* data, std::size_t size)
{
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(&text[0], text.size(), static_cast<const unsigned char*>(data), size,
                      sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1);  // the terminator
    return text;
}
