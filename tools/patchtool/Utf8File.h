// Files named by UTF-8 paths, on every platform: the patchtool keeps paths as
// UTF-8 (its arguments are made so on Windows) and opens them through the
// wide API there.
#pragma once

#include <cstdio>
#include <string>

std::FILE* OpenUtf8(const std::string& path, const char* mode);
bool RemoveUtf8(const std::string& path);
// Creates path (never replacing a file) readable and writable by its owner
// only: mode 0600, or on Windows a protected ACL that names the user alone.
bool WriteOwnerOnlyFile(const std::string& path, const std::string& bytes, std::string* error);
// Whether others than the owner may read path (a secret key that leaked).
bool ReadableByOthers(const std::string& path);
// Moves from over to, replacing a file there (which a plain rename does not
// on Windows).
bool MoveReplacing(const std::string& from, const std::string& to, std::string* error);
