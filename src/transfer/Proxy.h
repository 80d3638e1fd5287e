// How downloads reach the servers: the system's proxy configuration (the
// default, automatic configuration included), no proxy, or one given.
#pragma once

#include <string>

struct SProxy {
    enum EMode { SYSTEM, DIRECT, EXPLICIT } mode = SYSTEM;
    std::wstring host;
    unsigned port = 0;
    std::wstring user, password;
};

// "system", "direct" or "http://[USER[:PASSWORD]@]HOST[:PORT]" (port 8080 when
// none); false, with *why, for anything else.
bool ParseProxy(const std::wstring& text, SProxy* proxy, std::wstring* why);
