// Directories prepared for a test program by its CTest fixtures, named by
// environment variables (Wine paths of the Linux folders).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestDir.h"

fs::path FixtureDir(const char* variable);

// The HTTP servers of tests/transfer/httpd.py.
struct HttpServers {
    HttpServers();
    std::string StaticUrl(const std::string& path) const;  // files below Www()
    std::string FaultUrl(const std::string& path) const;
    fs::path Www() const { return dir / "www"; }
    // Request lines the fault server has seen, oldest first.
    std::vector<std::string> Requests() const;

    fs::path dir;
    int staticPort = 0;
    int faultPort = 0;
};

// The fault server's body: byte i is (7 i + 3) mod 256.
std::string PatternBytes(std::size_t n);

#ifdef _WIN32
// A port on 127.0.0.1 that nothing listens on (bound once, then freed).
std::uint16_t ClosedPort();
#endif
