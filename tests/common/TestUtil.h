// Test directories, files and the fixtures CTest prepares for a program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// A fresh directory per test, made the current directory while it lives.
class ScopedTestDir {
public:
    ScopedTestDir();
    ~ScopedTestDir();
    ScopedTestDir(const ScopedTestDir&) = delete;
    ScopedTestDir& operator=(const ScopedTestDir&) = delete;
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path, m_previous;
};

void WriteBytes(const fs::path& path, const std::string& bytes);
std::string ReadBytes(const fs::path& path);
void RemoveTree(const fs::path& path);  // read-only files too
// text with the first (all: every) from replaced by to.
std::string Replaced(std::string text, const std::string& from, const std::string& to, bool all = false);

// A folder prepared by a CTest fixture, named by an environment variable.
fs::path FixtureDir(const char* variable);

// The HTTP servers of tests/transfer/httpd.py.
struct HttpServers {
    HttpServers();
    // StaticUrl: files below Www().
    static std::string Loopback(int port) { return "http://127.0.0.1:" + std::to_string(port) + "/"; }
    std::string StaticUrl(const std::string& path) const { return Loopback(staticPort) + path; }
    std::string FaultUrl(const std::string& path) const { return Loopback(faultPort) + path; }
    fs::path Www() const { return dir / "www"; }
    // Request lines the fault server has seen that hold key.
    size_t Requests(const std::string& key) const;
    // Each request line holding key with its headers, tab-separated, in order.
    std::vector<std::string> RequestHeaders(const std::string& key) const;
    fs::path dir;
    int staticPort = 0, faultPort = 0;
};

// The fault server's body: byte i is (7 i + 3) mod 256; with flip 0x5A, the
// file that replaces it on the range route.
std::string PatternBytes(std::size_t n, int flip = 0);

#ifdef _WIN32
// A port on 127.0.0.1 that nothing listens on (bound once, then freed).
std::uint16_t ClosedPort();
#endif
