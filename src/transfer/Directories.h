// Directory helpers of the downloader and the zip reader.
#pragma once

#include <string>

// Everything before the last backslash, forward slashes taken as backslashes;
// empty when there is none.
std::wstring GetParentDir(const std::wstring& path);

// Creates every directory of the path, left to right; existing ones and drive
// roots are passed over silently.
void MakeDirectories(const std::wstring& dir);

bool DirectoryExists(const std::wstring& dir);
