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
int RunInit(int argc, char** argv);
int RunRelease(int argc, char** argv);
int RunCheck(int argc, char** argv);
int RunRefresh(int argc, char** argv);
// --expires DAYS or --expires-at SECONDS, and --level N (the zstd level of
// the chunks), into options (publish, release, refresh).
class CArgs;
struct SPublishOptions;
bool ParseExpiry(const CArgs& args, SPublishOptions* options, std::string* error);
// One package between two trees (pack and release).
struct SPackJob {
    std::string oldDir, newDir, from, to, out;
    bool delta = false;
};
struct SPackResult {
    std::size_t added = 0, removed = 0, deltas = 0;
    std::uint64_t size = 0;
    std::string md5;
    bool refusedName = false;  // a name the launcher refuses (the error names it)
};
bool PackTrees(const SPackJob& job, SPackResult* result, std::string* error);

// An optional --timestamp value: empty (now) or seconds since 1970.
bool ParseTimestamp(const std::string& text, std::uint64_t* out);
