// Checks on paths that come from archives and file lists, which a package
// author controls: nothing may point outside the directory it is unpacked to.
#pragma once

#include <string>

// True for a non-empty relative path without drive letter, root, or "..".
// Backslashes and slashes both separate components.
bool IsSafeRelativePath(const std::string& path);
bool IsSafeRelativePath(const std::wstring& path);

// Key of the zip name index: slashes for backslashes, A-Z lower-cased.
std::string ZipIndexKey(const std::string& name);

// Lower-cases A-Z only, leaving every other byte alone.
std::string AsciiLower(std::string text);
std::wstring AsciiLower(std::wstring text);
