// updater: the launcher's engine without a window, for operators and benchmarks.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>

#include "Commands.h"
#include "Console.h"
#include "base/utility/ProductVersion.h"
#include "base/utility/StrConv.h"

namespace {

struct SCommand {
    const wchar_t* name;
    int (*run)(const Args&);
    const wchar_t* usage;
    const wchar_t* help;
};

const SCommand kCommands[] = {
    {L"update", &RunUpdate,
     L"update --dir GAMEDIR [--unicom] [--server N] [-TS] [--one-step] [--stall-timeout S] [--limit-rate KIB] [--proxy P]",
     L"the launcher's automatic update without a window: update information,\n"
     L"comparison, download, installation, step after step until the server's version\n"
     L"(-TS: the test server's information; Ctrl+C stops a download; a failing patch\n"
     L"server is left for the next one of the same version)"},
    {L"install", &RunInstall, L"install PACKAGE --dir GAMEDIR",
     L"install a patch package into an installation as the launcher installs one opened\n"
     L"by hand (with trusted keys, PACKAGE.minisig must lie beside it); a failed\n"
     L"installation is undone"},
    {L"basepack", &RunBasePack, L"basepack --dir GAMEDIR", L"fill an empty installation from its two base packs"},
    {L"download", &RunDownload, L"download URL FILE [--stall-timeout S] [--limit-rate KIB] [--proxy P]",
     L"fetch URL into FILE (HTTP status 200 or 206 only) with the engine's retries; a\n"
     L"broken transfer keeps FILE.part and FILE.resume and the next download of FILE asks\n"
     L"for the rest"},
    {L"verify", &RunVerify,
     L"verify FILE --key PUB | verify --dir GAMEDIR [--full] [--unicom] [--server N] [-TS] [--manifest FILE]",
     L"verify FILE: check FILE.minisig as the launcher does, against a public key (a .pub\n"
     L"file or its second line).\n"
     L"verify --dir: check the installation against the manifest of its version on the\n"
     L"chunk store: missing, damaged and unexpected files by name (--json: one event\n"
     L"each). Quick by default: a file whose size and time of change a full check\n"
     L"recorded is trusted; --full hashes every byte. --manifest FILE: against that\n"
     L"manifest file, without a server (taken as given, unsigned)"},
    {L"repair", &RunRepair, L"repair --dir GAMEDIR [--unicom] [--server N] [-TS] [--stall-timeout S] [--limit-rate KIB] [--proxy P]",
     L"verify every byte, then fetch only the chunks of the missing and damaged files,\n"
     L"rebuild them, check their digests and install them with the journal and its undo"},
    {L"unzip", &RunUnzip, L"unzip ZIP DIR", L"unpack every file of ZIP below DIR"},
    {L"md5", &RunMd5, L"md5 FILE", L"print the MD5 digest of FILE like md5sum"},
};

const wchar_t kOptions[] =
    L"options of download and update:\n"
    L"  --stall-timeout S   give up a connection without 4 KiB of progress within S\n"
    L"                      seconds (default 30, or StallSeconds of the configuration)\n"
    L"  --limit-rate KIB    read at most KIB KiB/s (default: RateLimitKiB of the\n"
    L"                      configuration, else no limit)\n"
    L"  --proxy P           system (the system's settings, the default), direct, or\n"
    L"                      http://[USER[:PASSWORD]@]HOST[:PORT] (default: Proxy of the\n"
    L"                      configuration's Download element)\n"
    L"options of every command:\n"
    L"  --json              one JSON object per line: progress, steps, messages and the\n"
    L"                      result with its exit code\n";

std::wstring Usage()
{
    std::wstring text = L"usage: updater COMMAND ARGS      (updater COMMAND --help for one command)\n\ncommands:\n";
    for (const SCommand& c : kCommands) text += L"  " + std::wstring(c.usage) + L"\n";
    return text + L"\n" + kOptions + L"\n" + ExitCodeHelp();
}

int Dispatch(const std::wstring& command, const Args& args)
{
    if (command == L"-h" || command == L"--help" || command == L"help") {
        PrintLine(Usage());
        return EXIT_OK;
    }
    if (command == L"--version" || command == L"-V") {
        PrintLine(L"updater " TW_VERSION_TEXT L"\npackage formats read: " TW_PACKAGE_FORMATS);
        return EXIT_OK;
    }
    for (const SCommand& c : kCommands) {
        if (command != c.name) continue;
        for (const std::wstring& a : args) {
            if (a == L"--help" || a == L"-h") {
                PrintLine(L"usage: updater " + std::wstring(c.usage) + L"\n\n" + c.help + L"\n\n" + kOptions + L"\n" +
                          ExitCodeHelp());
                return EXIT_OK;
            }
        }
        // verify FILE checks a signature; verify --dir an installation.
        if (c.run == &RunVerify && std::find(args.begin(), args.end(), L"--dir") != args.end())
            return RunCheckInstallation(args);
        return c.run(args);
    }
    if (!JsonOutput()) std::fprintf(stderr, "%s\n", Base::Utility::WideToUtf8(Usage()).c_str());
    return ExitWith(EXIT_USAGE, command.empty() ? L"no command given" : L"unknown command '" + command + L"'");
}

}  // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Args args;
    std::wstring command;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--json")
            SetJsonOutput(true);
        else if (command.empty() && args.empty())
            command = a;
        else
            args.push_back(a);
    }
    LocalFree(argv);
    const int code = Dispatch(command, args);
    PrintResult(code);
    return code;
}
