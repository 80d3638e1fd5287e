// Sub-commands of patchtool; each returns the process exit code.
#pragma once

#include <cstdint>
#include <string>

int RunScramble(int argc, char** argv);
int RunPack(int argc, char** argv);
int RunRevision(int argc, char** argv);
int RunPublish(int argc, char** argv);
int RunKeygen(int argc, char** argv);
int RunSign(int argc, char** argv);
// An optional --timestamp value: empty (now) or seconds since 1970.
bool ParseTimestamp(const std::string& text, std::uint64_t* out);
