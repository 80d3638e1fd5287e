// A fresh directory per test, made the current directory while it lives.
#pragma once

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

class ScopedTestDir {
public:
    ScopedTestDir();
    ~ScopedTestDir();
    ScopedTestDir(const ScopedTestDir&) = delete;
    ScopedTestDir& operator=(const ScopedTestDir&) = delete;

    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
    fs::path m_previous;
};

// Whole-file helpers for test data.
void WriteBytes(const fs::path& path, const std::string& bytes);
std::string ReadBytes(const fs::path& path);
