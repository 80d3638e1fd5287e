#include "TestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#endif

ScopedTestDir::ScopedTestDir()
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    m_path = fs::temp_directory_path() / "tidewell-tests" /
             (::testing::UnitTest::GetInstance()->current_test_info()->name() + ("-" + std::to_string(stamp)) + "-" +
              std::to_string(counter++));
    fs::create_directories(m_path);
    m_previous = fs::current_path();
    fs::current_path(m_path);
}

ScopedTestDir::~ScopedTestDir()
{
    std::error_code ec;
    fs::current_path(m_previous, ec);
    RemoveTree(m_path);
}

void RemoveTree(const fs::path& path)
{
    std::error_code ec;  // read-only files would stop remove_all on Windows
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::end(it); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path FixtureDir(const char* variable)
{
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == 0) throw std::runtime_error(std::string(variable) + " is not set: run the tests through ctest");
    return fs::path(value);
}

HttpServers::HttpServers() : dir(FixtureDir("TW_HTTPD_DIR"))
{
    std::ifstream ports(dir / "ports");
    if (!(ports >> staticPort >> faultPort)) throw std::runtime_error("no ports file in " + dir.string());
}

size_t HttpServers::Requests(const std::string& key) const
{
    std::ifstream log(dir / "requests.log");
    size_t n = 0;
    for (std::string line; std::getline(log, line);) n += line.find(key) != std::string::npos;
    return n;
}

std::vector<std::string> HttpServers::RequestHeaders(const std::string& key) const
{
    std::ifstream log(dir / "headers.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        if (line.substr(0, line.find('\t')).find(key) != std::string::npos) lines.push_back(line);
    return lines;
}

std::string PatternBytes(std::size_t n, int flip)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(((i * 7 + 3) & 0xFF) ^ flip);
    return s;
}

#ifdef _WIN32
std::uint16_t ClosedPort()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    const bool bound = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                       getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0;
    closesocket(s);
    return bound ? ntohs(a.sin_port) : 0;
}
#endif

std::string Replaced(std::string text, const std::string& from, const std::string& to, bool all)
{
    for (size_t at = text.find(from); at != std::string::npos; at = all ? text.find(from, at + to.size()) : std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}
