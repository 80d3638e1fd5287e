// patchtool: the operator's tool that builds what the launcher reads.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "Commands.h"

namespace {

void Usage(std::FILE* out)
{
    std::fputs(
        "usage: patchtool COMMAND ARGS\n"
        "\n"
        "commands:\n"
        "  scramble IN OUT   write OUT as the scrambled form of IN (the .eml sibling\n"
        "                    of a configuration file); scrambling twice restores IN\n"
        "  pack [--old DIR] --new DIR --from V --to V -o PACKAGE.exe [--delta]\n"
        "                    a patch package that turns the old tree into the new one\n"
        "                    (new and changed files are added, removed ones deleted);\n"
        "                    --delta: a changed file as a zstd delta against the old one\n"
        "                    where that is smaller (launchers before 1.1.0 refuse it)\n"
        "  revision add REVISION.xml --prev V --inter V [--upgrade PKG] [--degrade PKG]\n"
        "                    record the step prev -> inter and its packages\n"
        "  publish DESCRIPTION -o DIR [--qa] [--sign NAME.key [--timestamp SECONDS]]\n"
        "                    NewUpdateInfo.xml, Revision.xml and newupdateinfo.zip (or\n"
        "                    newupdateinfo_qa.zip) with the packages, ready to serve from DIR\n"
        "                    (served names are lower case: the launcher asks for them so);\n"
        "                    'patchtool publish' without arguments describes the input;\n"
        "                    --sign KEY signs the archive and every package it writes\n"
        "  keygen -o NAME    a key pair: NAME.pub (its second line is what the launcher's\n"
        "                    TrustedKeys holds) and NAME.key (unencrypted, minisign's format)\n"
        "  sign --key NAME.key [--timestamp SECONDS] FILE...\n"
        "                    FILE.minisig beside each FILE, verifiable with minisign -V\n"
        "\n"
        "versions are texts compared byte by byte: write them with seven digits\n",
        out);
}

}  // namespace

namespace {

int Run(int argc, char** argv)
{
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "-h") == 0 || std::strcmp(command, "--help") == 0 ||
        std::strcmp(command, "help") == 0) {
        Usage(stdout);
        return 0;
    }
    if (std::strcmp(command, "scramble") == 0) return RunScramble(argc - 2, argv + 2);
    if (std::strcmp(command, "pack") == 0) return RunPack(argc - 2, argv + 2);
    if (std::strcmp(command, "revision") == 0) return RunRevision(argc - 2, argv + 2);
    if (std::strcmp(command, "publish") == 0) return RunPublish(argc - 2, argv + 2);
    if (std::strcmp(command, "keygen") == 0) return RunKeygen(argc - 2, argv + 2);
    if (std::strcmp(command, "sign") == 0) return RunSign(argc - 2, argv + 2);
    std::fprintf(stderr, "patchtool: unknown command '%s'\n", command);
    Usage(stderr);
    return 2;
}

}  // namespace

#ifdef _WIN32
// Arguments as UTF-8, whatever the code page: names of any language round-trip.
int main()
{
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(std::filesystem::path(wide[i]).u8string());
    LocalFree(wide);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return Run(argc, argv.data());
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
