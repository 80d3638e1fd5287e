// Files named by UTF-8 paths, on every platform: the patchtool keeps paths as
// UTF-8 (its arguments are made so on Windows) and opens them through the
// wide API there.
#pragma once

#include <cstdio>
#include <string>

std::FILE* OpenUtf8(const std::string& path, const char* mode);
bool RemoveUtf8(const std::string& path);
