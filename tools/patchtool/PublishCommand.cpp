// patchtool publish: the update information a patch server serves, from a
// short description, checked before anything is written.
#include <cstdio>
#include <filesystem>

#include "Args.h"
#include "Commands.h"
#include "Publication.h"
#include "Signer.h"
#include "ToolExit.h"

int RunPublish(int argc, char** argv)
{
    CArgs args;
    std::string error;
    std::uint64_t timestamp = 0;
    if (!args.Parse(argc, argv, {"-o", "--sign", "--timestamp"}, &error, {"--qa", "--unchecked"}) ||
        args.Positional().size() != 1 ||
        !args.Has("-o") || !ParseTimestamp(args.Get("--timestamp"), &timestamp)) {
        if (!error.empty()) std::fprintf(stderr, "patchtool publish: %s\n", error.c_str());
        std::fprintf(stderr, "usage: patchtool publish DESCRIPTION -o DIR [--qa] [--sign NAME.key [--timestamp SECONDS]]\n\n%s",
                     kDescriptionHelp);
        return TOOL_USAGE;
    }
    // The key and the description first: what cannot be used publishes nothing.
    CSigner signer;
    if (args.Has("--sign") && !signer.Load(args.Get("--sign"), &error)) return Fail("publish", TOOL_BAD_KEY, error);
    SDescription d;
    if (!ReadDescription(args.Positional()[0], &d, &error)) return Fail("publish", TOOL_FAILED, error);
    // --unchecked serves tests of launchers against broken servers, nothing else.
    const std::vector<std::string> problems = args.Has("--unchecked") ? std::vector<std::string>() : CheckRelease(d);
    for (const std::string& p : problems) std::fprintf(stderr, "patchtool publish: refused: %s\n", p.c_str());
    if (!problems.empty())
        return Fail("publish", TOOL_REFUSED, std::to_string(problems.size()) + " problems: nothing was written");

    SPublishOptions options;
    options.qa = args.Has("--qa");
    options.signer = args.Has("--sign") ? &signer : nullptr;
    options.timestamp = timestamp;
    std::vector<std::string> written;
    if (!WritePublication(d, args.Get("-o"), options, &written, &error)) return Fail("publish", TOOL_FAILED, error);
    size_t packages = 0;
    for (const SStep& s : d.steps) packages += !s.upgrade.empty() + !s.degrade.empty() + !s.upgradeDelta.empty() + !s.degradeDelta.empty();
    std::string archive;
    for (const std::string& f : written)
        if (f.size() > 4 && f.compare(f.size() - 4, 4, ".zip") == 0) archive = f;
    std::printf("%s: latest %s, %zu servers, %zu steps, %zu packages%s\n", archive.c_str(),
                d.latest.c_str(), d.servers.size(), d.steps.size(), packages, options.signer ? ", signed" : "");
    return TOOL_OK;
}
