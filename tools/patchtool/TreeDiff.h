// What changes between two directory trees, file by file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct STreeChange {
    bool add = false;          // new or changed file; else removed
    std::string path;          // relative, '/'-separated, UTF-8
    std::uint64_t size = 0;    // of the new file
    std::string md5;           // of the new file, lower-case hex
};

// What a tree holds besides its files, which a package cannot carry.
struct STreeLeftovers {
    std::vector<std::string> links;      // symbolic links, not followed
    std::vector<std::string> emptyDirs;  // folders without files below them
};

// Files of newDir that are missing from oldDir or differ in content are
// additions; files only in oldDir are removals. Sorted by path. oldDir may be
// empty (everything is new). newFiles (when given) gets every file of newDir,
// leftovers what newDir holds that is no file.
bool DiffTrees(const std::string& oldDir, const std::string& newDir, std::vector<STreeChange>* changes,
               std::string* error, std::vector<std::string>* newFiles = nullptr,
               STreeLeftovers* leftovers = nullptr);

// MD5 of a file in lower-case hex; empty when it cannot be read.
std::string Md5OfFile(const std::string& path, std::uint64_t* size = nullptr);
