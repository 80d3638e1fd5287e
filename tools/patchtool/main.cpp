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
#include "ToolExit.h"
#include "base/utility/ProductVersion.h"

namespace {

struct SCommand {
    const char* name;
    int (*run)(int, char**);
    const char* usage;
    const char* help;
};

const SCommand kCommands[] = {
    {"init", &RunInit, "init DIR --url URL [--key NAME.pub] [--name GAME.exe] [--version V] [--force]",
     "a player installation to copy launcher.exe into: the local configuration\n"
     "(update address URL, the trusted key), base-pack entries (URL base1.zip and\n"
     "base2.zip, the game at version V, default 0000100), the text table in Chinese\n"
     "(data\\string.txt) and English (data\\string.en.txt), the sample skin with GAME.exe\n"
     "as the game (default Game.exe); DIR must be empty unless --force"},
    {"release", &RunRelease,
     "release VERSIONS_DIR --url URL -o DIR [--key NAME.key] [--previous PUBLISHED_DIR] [--basepacks] [--qa]\n"
     "          [--no-chunks] [--expires DAYS | --expires-at SECONDS]",
     "one command from version trees to a published directory: VERSIONS_DIR holds one\n"
     "folder per version (seven digits); each step between neighbours gets a whole-file\n"
     "and a delta package, the newest step also the rollback (degrade) pair; the\n"
     "revision table, the update information and (with --key) every signature follow.\n"
     "--previous keeps the steps a published directory already has; --basepacks writes\n"
     "base1.zip and base2.zip of the oldest version. Every version's tree also goes to\n"
     "the chunk store (store/: manifests and bundles of chunks; --no-chunks leaves it\n"
     "out), from which any version reaches the latest in one step. Prints what it wrote\n"
     "and the bytes a player at each earlier version fetches. Checked before anything\n"
     "is written."},
    {"check", &RunCheck, "check DIR [--key NAME.pub] [--url URL] [--qa]",
     "the checks of publish and release on a published directory: versions, addresses,\n"
     "every package's size, digest, versions and names, that every version reaches the\n"
     "latest; with --key every signature; with --url what the server serves (the same\n"
     "bytes, and Range requests answered)"},
    {"pack", &RunPack, "pack [--old DIR] --new DIR --from V --to V -o PACKAGE.exe [--delta]",
     "a patch package that turns the old tree into the new one (new and changed files\n"
     "are added, removed ones deleted); --delta: a changed file as a zstd delta against\n"
     "the old one where that is smaller (launchers before 1.1.0 refuse it); names the\n"
     "launcher would refuse are refused here; the same trees give the same bytes"},
    {"revision", &RunRevision, "revision add REVISION.xml --prev V --inter V [--upgrade PKG] [--degrade PKG]",
     "record the step prev -> inter and its packages in a revision table"},
    {"publish", &RunPublish,
     "publish DESCRIPTION -o DIR [--qa] [--sign NAME.key [--timestamp SECONDS]] [--expires DAYS | --expires-at "
     "SECONDS] [--level N] [--unchecked]",
     "NewUpdateInfo.xml, Revision.xml and newupdateinfo.zip (--qa: newupdateinfo_qa.zip,\n"
     "never replacing production's files) with the packages, ready to serve from DIR\n"
     "(served names are lower case); tree lines add each version's manifest and chunks\n"
     "to the chunk store DIR/store/; checked first, as check does; 'patchtool publish'\n"
     "without arguments describes the input; --sign signs the archive, every package\n"
     "and manifest, the archive and manifests with a sequence number and an expiry\n"
     "(default 30 days); --level: the zstd level of the chunks (default 19);\n"
     "--unchecked publishes what check refuses, for testing launchers against\n"
     "broken servers"},
    {"refresh", &RunRefresh, "refresh DIR --key NAME.key [--qa] [--expires DAYS | --expires-at SECONDS]",
     "sign a published directory again: the update information and every manifest of\n"
     "its chunk store get the next sequence number and a new expiry (default 30 days);\n"
     "launchers refuse expired publications and any older than one they accepted"},
    {"keygen", &RunKeygen, "keygen -o NAME",
     "a key pair: NAME.pub (its second line is what the launcher's TrustedKeys holds)\n"
     "and NAME.key (unencrypted, minisign's format, readable by its owner only)"},
    {"sign", &RunSign, "sign --key NAME.key [--timestamp SECONDS] FILE...",
     "FILE.minisig beside each FILE, verifiable with minisign -V"},
    {"scramble", &RunScramble, "scramble IN OUT",
     "write OUT as the scrambled form of IN (the .eml sibling of a configuration file);\n"
     "scrambling twice restores IN"},
};

void Usage(std::FILE* out)
{
    std::fputs("usage: patchtool COMMAND ARGS      (patchtool COMMAND --help for one command)\n\ncommands:\n", out);
    for (const SCommand& c : kCommands) std::fprintf(out, "  %s\n", c.usage);
    std::fprintf(out, "\nversions are texts compared byte by byte: write them with seven digits\n\n%s",
                 ToolExitHelp().c_str());
}

int Run(int argc, char** argv)
{
    if (argc < 2) {
        Usage(stderr);
        return TOOL_USAGE;
    }
    const std::string command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        Usage(stdout);
        return TOOL_OK;
    }
    if (command == "--version" || command == "-V") {
        std::printf("patchtool %s\npackage formats written and read: %s\n", TW_VERSION_TEXT, TW_PACKAGE_FORMATS);
        return TOOL_OK;
    }
    for (const SCommand& c : kCommands) {
        if (command != c.name) continue;
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
                std::printf("usage: patchtool %s\n\n%s\n\n%s", c.usage, c.help, ToolExitHelp().c_str());
                return TOOL_OK;
            }
        }
        return c.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "patchtool: unknown command '%s'\n", command.c_str());
    Usage(stderr);
    return TOOL_USAGE;
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
