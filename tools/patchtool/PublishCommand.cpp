// patchtool publish: the update information a patch server serves, from a
// short description, checked before anything is written.
#include <cstdio>
#include <cstdlib>
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
    SPublishOptions options;
    if (!args.Parse(argc, argv, {"-o", "--sign", "--timestamp", "--expires", "--expires-at", "--level"}, &error,
                    {"--qa", "--unchecked"}) ||
        args.Positional().size() != 1 || !args.Has("-o") || !ParseTimestamp(args.Get("--timestamp"), &timestamp) ||
        !ParseExpiry(args, &options, &error)) {
        if (!error.empty()) std::fprintf(stderr, "patchtool publish: %s\n", error.c_str());
        std::fprintf(stderr, "usage: patchtool publish DESCRIPTION -o DIR [--qa] [--sign NAME.key [--timestamp SECONDS]] "
                             "[--expires DAYS | --expires-at SECONDS] [--level N]\n\n%s",
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
    std::printf("%s: latest %s, %zu servers, %zu steps, %zu packages%s%s\n", archive.c_str(), d.latest.c_str(),
                d.servers.size(), d.steps.size(), packages, d.trees.empty() ? "" : ", chunk store",
                options.signer ? ", signed" : "");
    return TOOL_OK;
}

bool ParseExpiry(const CArgs& args, SPublishOptions* options, std::string* error)
{
    if (args.Has("--expires") && args.Has("--expires-at")) {
        *error = "--expires and --expires-at exclude each other";
        return false;
    }
    const std::string level = args.Get("--level");
    if (!level.empty()) {
        options->level = std::atoi(level.c_str());
        if (level.find_first_not_of("0123456789") != std::string::npos || options->level < 1 || options->level > 22) {
            *error = "--level takes a zstd level from 1 to 22";
            return false;
        }
    }
    const std::string days = args.Get("--expires");
    if (!days.empty()) {
        const unsigned long n = std::strtoul(days.c_str(), nullptr, 10);
        if (days.find_first_not_of("0123456789") != std::string::npos || n == 0 || n > 3650) {
            *error = "--expires takes 1 to 3650 days";
            return false;
        }
        options->expiresDays = static_cast<unsigned>(n);
    }
    if (args.Has("--expires-at") && (!ParseTimestamp(args.Get("--expires-at"), &options->expiresAt) || options->expiresAt == 0)) {
        *error = "--expires-at takes seconds since 1970";
        return false;
    }
    return true;
}

int RunRefresh(int argc, char** argv)
{
    CArgs args;
    std::string error;
    SPublishOptions options;
    std::uint64_t timestamp = 0;
    if (!args.Parse(argc, argv, {"--key", "--timestamp", "--expires", "--expires-at"}, &error, {"--qa"}) ||
        args.Positional().size() != 1 || !args.Has("--key") || !ParseTimestamp(args.Get("--timestamp"), &timestamp) ||
        !ParseExpiry(args, &options, &error)) {
        if (!error.empty()) std::fprintf(stderr, "patchtool refresh: %s\n", error.c_str());
        std::fputs("usage: patchtool refresh DIR --key NAME.key [--qa] [--expires DAYS | --expires-at SECONDS]\n", stderr);
        return TOOL_USAGE;
    }
    CSigner signer;
    if (!signer.Load(args.Get("--key"), &error)) return Fail("refresh", TOOL_BAD_KEY, error);
    options.qa = args.Has("--qa");
    options.signer = &signer;
    options.timestamp = timestamp;
    std::vector<std::string> signedFiles;
    if (!RefreshPublication(args.Positional()[0], options, &signedFiles, &error)) return Fail("refresh", TOOL_FAILED, error);
    for (const std::string& f : signedFiles) std::printf("%s\n", f.c_str());
    std::printf("%s: signed again with sequence %llu\n", args.Positional()[0].c_str(),
                static_cast<unsigned long long>(PublishedSequence(args.Positional()[0])));
    return TOOL_OK;
}
