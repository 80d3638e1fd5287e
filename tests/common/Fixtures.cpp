#include "Fixtures.h"

#ifdef _WIN32
#include <winsock2.h>
#endif

#include <cstdlib>
#include <fstream>
#include <stdexcept>

fs::path FixtureDir(const char* variable)
{
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == 0)
        throw std::runtime_error(std::string(variable) + " is not set: run the tests through ctest");
    return fs::path(value);
}

HttpServers::HttpServers() : dir(FixtureDir("TW_HTTPD_DIR"))
{
    std::ifstream ports(dir / "ports");
    if (!(ports >> staticPort >> faultPort)) throw std::runtime_error("no ports file in " + dir.string());
}

std::string HttpServers::StaticUrl(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(staticPort) + "/" + path;
}

std::string HttpServers::FaultUrl(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(faultPort) + "/" + path;
}

std::vector<std::string> HttpServers::Requests() const
{
    std::vector<std::string> lines;
    std::ifstream log(dir / "requests.log");
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

std::string PatternBytes(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) & 0xFF);
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
