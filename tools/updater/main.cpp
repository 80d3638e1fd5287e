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
    L"\n"
    L"exit codes: 0 done, 1 failed, 2 bad arguments";

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
    PrintError(command.empty() ? L"no command given" : L"unknown command '" + command + L"'");
    std::fprintf(stderr, "%s\n", Base::Utility::WideToUtf8(kUsage).c_str());
    return 2;
}
