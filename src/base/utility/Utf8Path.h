// Files named by UTF-8 paths on every platform: names from manifests and
// packages are UTF-8, and on Windows they are opened through the wide API.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

std::FILE* OpenUtf8(const std::string& path, const char* mode);
bool RemoveUtf8(const std::string& path);
// Moves from over to, replacing a file there (which a plain rename does not
// on Windows).
bool MoveReplacing(const std::string& from, const std::string& to, std::string* error);
// Seeks a stdio file past 2 GiB on every platform.
bool SeekUtf8File(std::FILE* file, std::uint64_t offset);
