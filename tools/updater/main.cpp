// updater: the launcher's engine without a window, for operators and benchmarks.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "Commands.h"
#include "Console.h"
#include "base/utility/StrConv.h"

namespace {

const wchar_t kUsage[] =
    L"usage: updater COMMAND ARGS\n"
    L"\n"
    L"commands:\n"
    L"  download URL FILE [--stall-timeout S] [--limit-rate KIB]\n"
    L"                      fetch URL into FILE (HTTP status 200 or 206 only); a\n"
    L"                      broken transfer keeps FILE.part and FILE.resume and the\n"
    L"                      next download of FILE asks for the rest\n"
    L"  unzip ZIP DIR       unpack every file of ZIP below DIR\n"
    L"  md5 FILE            print the MD5 digest of FILE like md5sum\n"
    L"  verify FILE --key PUB\n"
    L"                      check FILE.minisig as the launcher does, against a public\n"
    L"                      key (a .pub file or its second line)\n"
    L"  install PACKAGE --dir GAMEDIR\n"
    L"                      install a patch package into an installation; a\n"
    L"                      failed installation is undone\n"
    L"  update --dir GAMEDIR [--unicom] [--server N] [-TS] [--one-step]\n"
    L"         [--stall-timeout S] [--limit-rate KIB]\n"
    L"                      the launcher's automatic update without a window: update\n"
    L"                      information, comparison, download, installation, step\n"
    L"                      after step until the server's version (-TS: the test\n"
    L"                      server's information; Ctrl+C stops a download; a\n"
    L"                      failing patch server is left for the next one of the\n"
    L"                      same version)\n"
    L"  basepack --dir GAMEDIR\n"
    L"                      fill an empty installation from its two base packs\n"
    L"\n"
    L"options of download and update:\n"
    L"  --stall-timeout S   give up a connection silent for S seconds (default 30,\n"
    L"                      or StallSeconds of the configuration)\n"
    L"  --limit-rate KIB    read at most KIB KiB/s (default: RateLimitKiB of the\n"
    L"                      configuration, else no limit)";

}  // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Args args;
    for (int i = 2; i < argc; ++i) args.push_back(argv[i]);
    const std::wstring command = argc >= 2 ? argv[1] : L"";
    LocalFree(argv);

    if (command == L"-h" || command == L"--help" || command == L"help") {
        PrintLine(std::wstring(kUsage) + L"\n\n" + ExitCodeHelp());
        return EXIT_OK;
    }
    if (command == L"download") return RunDownload(args);
    if (command == L"unzip") return RunUnzip(args);
    if (command == L"md5") return RunMd5(args);
    if (command == L"verify") return RunVerify(args);
    if (command == L"install") return RunInstall(args);
    if (command == L"update") return RunUpdate(args);
    if (command == L"basepack") return RunBasePack(args);
    std::fprintf(stderr, "%s\n\n", Base::Utility::WideToUtf8(kUsage).c_str());
    return ExitWith(EXIT_USAGE, command.empty() ? L"no command given" : L"unknown command '" + command + L"'");
}
