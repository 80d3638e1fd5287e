// patchtool's exit codes: one table gives each its meaning, printed by
// --help, and every command fails through Fail.
#pragma once

#include <string>

enum EToolExit {
    TOOL_OK = 0,
    TOOL_FAILED = 1,          // a file could not be read or written
    TOOL_USAGE = 2,           // bad arguments
    TOOL_REFUSED = 3,         // the release is refused: check found what would fail on players' machines
    TOOL_BAD_KEY = 4,         // a key cannot be read, is no minisign key, or exists already
    TOOL_NOT_EMPTY = 5,       // init's folder is not empty (--force to write into it)
    TOOL_SERVER_DIFFERS = 6,  // the server does not serve the release as published
    TOOL_REFUSED_NAME = 7,    // a name in the tree that the launcher refuses
};

// "patchtool COMMAND: detail" on stderr; the code.
int Fail(const char* command, EToolExit code, const std::string& detail);
// "exit codes:" and one line per code.
std::string ToolExitHelp();
