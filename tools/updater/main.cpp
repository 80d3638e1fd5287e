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
    L"  download URL FILE   fetch URL into FILE (HTTP status 200 or 206 only)\n"
    L"  unzip ZIP DIR       unpack every file of ZIP below DIR\n"
    L"  md5 FILE            print the MD5 digest of FILE like md5sum\n"
    L"  install PACKAGE --dir GAMEDIR\n"
    L"                      install a patch package into an installation; a\n"
    L"                      failed installation is undone\n"
    L"\n"
    L"exit codes:\n"
    L"  0 done             1 failed             2 bad arguments\n"
    L"  3 package unusable (no zip resource or file list)\n"
    L"  4 installed version outside the package's range\n"
    L"  5 a file could not be copied    6 a file failed its MD5 check\n"
    L"  7 the new versions could not be saved\n"
    L"  8 the installation's configuration cannot be read";

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
    if (command == L"install") return RunInstall(args);
    PrintError(command.empty() ? L"no command given" : L"unknown command '" + command + L"'");
    std::fprintf(stderr, "%s\n", Base::Utility::WideToUtf8(kUsage).c_str());
    return 2;
}
