#include "ToolExit.h"

#include <cstdio>

namespace {

struct SToolExit {
    EToolExit code;
    const char* meaning;
};

const SToolExit kExits[] = {
    {TOOL_OK, "done"},
    {TOOL_FAILED, "failed: a file could not be read or written (the message names it)"},
    {TOOL_USAGE, "bad arguments"},
    {TOOL_REFUSED, "refused: the release would fail on players' machines (each problem is listed)"},
    {TOOL_BAD_KEY, "a key cannot be read, is not a minisign key, or would be overwritten"},
    {TOOL_NOT_EMPTY, "the folder is not empty (init --force writes into it)"},
    {TOOL_SERVER_DIFFERS, "the server does not serve the release as published (check --url)"},
    {TOOL_REFUSED_NAME, "a name in the tree that the launcher refuses (pack)"},
};

}  // namespace

int Fail(const char* command, EToolExit code, const std::string& detail)
{
    std::fprintf(stderr, "patchtool %s: %s\n", command, detail.c_str());
    return code;
}

std::string ToolExitHelp()
{
    std::string text = "exit codes:\n";
    for (const SToolExit& e : kExits) {
        char line[160];
        std::snprintf(line, sizeof line, "  %d  %s\n", static_cast<int>(e.code), e.meaning);
        text += line;
    }
    return text;
}
