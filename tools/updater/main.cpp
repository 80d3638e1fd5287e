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
    L"                      configuration, else no limit)\n"
    L"\n"
    L"exit codes:\n"
    L"  0 done             1 failed             2 bad arguments\n"
    L"  3 package unusable (no zip resource or file list, or a delta that cannot be applied)\n"
    L"  4 installed version outside the package's range\n"
    L"  5 a file could not be copied    6 a file failed its MD5 check\n"
    L"  7 the new versions could not be saved\n"
    L"  8 the installation's configuration cannot be read\n"
    L"  9 the installation needs repair: its journal cannot be trusted, the\n"
    L"    backups in PatchCfg\\PatchBackup are kept\n"
    L"  10 no update information from any address\n"
    L"  11 no such patch server, or it has no address for the line\n"
    L"  12 the installed version is unknown\n"
    L"  13 the patch package could not be downloaded\n"
    L"  14 the package is not the size or MD5 the revision table states\n"
    L"  15 stopped              16 a step did not change the version\n"
    L"  17 a name from the server or a package was refused (path fence)\n"
    L"  18 the server's data exceeds a bound (size, nesting, count)\n"
    L"  19 the disk is full\n"
    L"  20 no base packs named  21 a base pack download failed\n"
    L"  22 a base pack could not be unpacked\n"
    L"  23 a signature was missing or refused (TrustedKeys configured): the update\n"
    L"     information, a package or a base pack is not verified, nothing installed\n"
    L"  24 an installed file is not the one a delta of the package applies to\n"
    L"     (a modified or damaged file): nothing installed";

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
        PrintLine(kUsage);
        return 0;
    }
    if (command == L"download") return RunDownload(args);
    if (command == L"unzip") return RunUnzip(args);
    if (command == L"md5") return RunMd5(args);
    if (command == L"verify") return RunVerify(args);
    if (command == L"install") return RunInstall(args);
    if (command == L"update") return RunUpdate(args);
    if (command == L"basepack") return RunBasePack(args);
    PrintError(command.empty() ? L"no command given" : L"unknown command '" + command + L"'");
    std::fprintf(stderr, "%s\n", Base::Utility::WideToUtf8(kUsage).c_str());
    return 2;
}
