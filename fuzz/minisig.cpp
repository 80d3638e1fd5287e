// Signature files and public key lines as a server or an operator may send them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "transfer/Minisign.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    SMinisignKey key;
    ParseMinisignPublicKey(bytes, &key);
    SMinisig sig;
    if (ReadMinisig(data, size, &sig) != MINISIG_OK) return 0;
    // The whole check runs, with a key of the signature's id so that both
    // signatures are tried.
    std::memcpy(key.keyId, sig.keyId, kMinisignKeyIdBytes);
    std::memset(key.publicKey, 0x5A, kMinisignPublicKeyBytes);
    unsigned char digest[kMinisignDigestBytes];
    CBlake2bStream hash;
    hash.Update(data, size);
    hash.Final(digest);
    if (VerifyMinisig(sig, {key}, digest) == MINISIG_OK) std::abort();  // nobody holds that key's secret
    std::uint64_t timestamp = 0;
    CheckTrustedComment(sig.trustedComment, "newupdateinfo.zip", true, 1, &timestamp);
    return 0;
}
