// Files named by UTF-8 paths, on every platform: the patchtool keeps paths as
// UTF-8 (its arguments are made so on Windows) and opens them through the
// wide API there.
#pragma once

#include <cstdio>
#include <string>

#include "base/utility/Utf8Path.h"

// Creates path (never replacing a file) readable and writable by its owner
// only: mode 0600, or on Windows a protected ACL that names the user alone.
bool WriteOwnerOnlyFile(const std::string& path, const std::string& bytes, std::string* error);
// Whether others than the owner may read path (a secret key that leaked).
bool ReadableByOthers(const std::string& path);
