// Helpers of the operator tools' tests: programs run as an operator runs
// them, and seeded random bytes.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <random>
#include <string>

#include "TestUtil.h"

// Runs a shell command in the current directory; its output when asked for.
inline int Shell(const std::string& command, std::string* output = nullptr)
{
    const int status = std::system((command + " >tool.out 2>&1 </dev/null").c_str());
    if (output) *output = ReadBytes("tool.out");
    fs::remove("tool.out");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The host-built patchtool with these arguments.
inline int Tool(const std::string& args, std::string* output = nullptr)
{
    return Shell(std::string(PATCHTOOL_PATH) + " " + args, output);
}

inline std::string RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}
