// updater verify: the launcher's signature check of one file, for operators
// (does what I publish verify?) and for the benchmark.
#include <fstream>

#include "Commands.h"
#include "Console.h"
#include "base/utility/StrConv.h"
#include "transfer/Blake2bFile.h"

using Base::Utility::AnsiToWide;
using Base::Utility::WideToAnsi;

namespace {

// A .pub file's second line, or the key line itself.
std::string KeyLine(const std::wstring& keyOrFile)
{
    std::ifstream in(keyOrFile.c_str(), std::ios::binary);
    std::string line;
    if (in && std::getline(in, line) && std::getline(in, line)) return line;
    return WideToAnsi(keyOrFile);
}

}  // namespace

int RunVerify(const Args& args)
{
    if (args.size() != 3 || args[1] != L"--key") {
        return ExitWith(EXIT_USAGE, L"updater verify FILE --key PUBLIC_KEY_FILE_OR_LINE");
    }
    const std::wstring& file = args[0];
    SMinisignKey key;
    if (!ParseMinisignPublicKey(KeyLine(args[2]), &key)) {
        return ExitWith(EXIT_USAGE, L"not a minisign public key: " + args[2]);
    }
    std::ifstream in((file + L".minisig").c_str(), std::ios::binary);
    std::string bytes(kMaxMinisigBytes + 1, '\0');
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    SMinisig sig;
    EMinisigResult result = ReadMinisig(bytes.data(), bytes.size(), &sig);
    unsigned char digest[kMinisignDigestBytes];
    if (result == MINISIG_OK && !ComputeFileBlake2b(file, digest)) {
        return ExitWith(EXIT_FAILED, L"cannot read " + file);
    }
    if (result == MINISIG_OK) result = VerifyMinisig(sig, {key}, digest);
    const size_t slash = file.find_last_of(L"\\/");
    std::uint64_t timestamp = 0;
    if (result == MINISIG_OK)
        result = CheckTrustedComment(sig.trustedComment, WideToAnsi(file.substr(slash == std::wstring::npos ? 0 : slash + 1)),
                                     false, 0, &timestamp);
    if (result != MINISIG_OK) {
        return ExitWith(EXIT_UNVERIFIED, file + L": " + AnsiToWide(MinisigResultText(result)));
    }
    PrintLine(file + L": signature verified (" + AnsiToWide(sig.trustedComment) + L")");
    return EXIT_OK;
}
