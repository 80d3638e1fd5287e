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
// none; USER and PASSWORD percent-encoded where they hold "@" or ":"); false,
// with *why, for anything else.
bool ParseProxy(const std::wstring& text, SProxy* proxy, std::wstring* why);
// The text without its password, for the log.
std::wstring ProxyForLog(const std::wstring& text);
// The proxy a session of the system's settings goes through for http: EXPLICIT
// with its host and port, or DIRECT (none, or one chosen by automatic
// configuration, which a session does not tell).
SProxy SystemProxy(void* session);
