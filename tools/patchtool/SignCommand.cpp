// patchtool keygen and patchtool sign: key pairs and signatures that the
// launcher verifies and that minisign reads.
#include <cstdio>
#include <cstdlib>

#include "Args.h"
#include "Commands.h"
#include "Signer.h"
#include "ToolExit.h"
#include "Utf8File.h"

bool ParseTimestamp(const std::string& text, std::uint64_t* out)
{
    char* end = nullptr;
    *out = text.empty() ? 0 : std::strtoull(text.c_str(), &end, 10);
    return text.empty() || (end && *end == '\0' && *out > 0);
}

int RunKeygen(int argc, char** argv)
{
    CArgs args;
    std::string error;
    if (!args.Parse(argc, argv, {"-o"}, &error) || !args.Positional().empty() || args.Get("-o").empty()) {
        if (!error.empty()) std::fprintf(stderr, "patchtool keygen: %s\n", error.c_str());
        std::fprintf(stderr, "usage: patchtool keygen -o NAME   (writes NAME.pub and NAME.key)\n");
        return TOOL_USAGE;
    }
    if (!WriteKeyPair(args.Get("-o"), &error)) return Fail("keygen", TOOL_BAD_KEY, error);
    std::printf("%s.pub: public key (its second line goes into TrustedKeys)\n%s.key: secret key, unencrypted: "
                "keep it off the servers\n",
                args.Get("-o").c_str(), args.Get("-o").c_str());
    return TOOL_OK;
}

int RunSign(int argc, char** argv)
{
    CArgs args;
    std::string error;
    std::uint64_t timestamp = 0;
    if (!args.Parse(argc, argv, {"--key", "--timestamp"}, &error) || args.Positional().empty() ||
        args.Get("--key").empty() || !ParseTimestamp(args.Get("--timestamp"), &timestamp)) {
        if (!error.empty()) std::fprintf(stderr, "patchtool sign: %s\n", error.c_str());
        std::fprintf(stderr, "usage: patchtool sign --key NAME.key [--timestamp SECONDS] FILE...\n");
        return TOOL_USAGE;
    }
    CSigner signer;
    if (!signer.Load(args.Get("--key"), &error)) return Fail("sign", TOOL_BAD_KEY, error);

    for (const std::string& file : args.Positional()) {
        if (!signer.SignFile(file, timestamp, &error)) return Fail("sign", TOOL_FAILED, error);
        std::printf("%s.minisig\n", file.c_str());
    }
    return TOOL_OK;
}
