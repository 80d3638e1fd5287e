// Checks on paths that come from archives and file lists, which a package
// author controls: nothing may point outside the directory it is unpacked to.
#pragma once

#include <string>
#include <vector>

// True for a non-empty relative path without drive letter, root, or "..".
// Backslashes and slashes both separate components.
bool IsSafeRelativePath(const std::string& path);
bool IsSafeRelativePath(const std::wstring& path);

// The first entry of an archive's name list that is not a safe relative
// path, or null: one such name refuses the whole archive.
const std::wstring* FirstUnsafePath(const std::vector<std::wstring>& paths);

// Key of the zip name index: slashes for backslashes, A-Z lower-cased.
std::string ZipIndexKey(const std::string& name);
