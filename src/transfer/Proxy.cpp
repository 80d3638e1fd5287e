#include "Proxy.h"

#include <cwchar>

bool ParseProxy(const std::wstring& text, SProxy* proxy, std::wstring* why)
{
    *proxy = SProxy();
    if (text.empty() || text == L"system") return true;
    if (text == L"direct") {
        proxy->mode = SProxy::DIRECT;
        return true;
    }
    const std::wstring scheme = L"http://";
    if (text.compare(0, scheme.size(), scheme) != 0) {
        *why = L"a proxy is \"system\", \"direct\" or http://[USER[:PASSWORD]@]HOST[:PORT]";
        return false;
    }
    std::wstring rest = text.substr(scheme.size());
    if (!rest.empty() && rest.back() == L'/') rest.pop_back();
    const size_t at = rest.rfind(L'@');
    if (at != std::wstring::npos) {
        const std::wstring credentials = rest.substr(0, at);
        const size_t colon = credentials.find(L':');
        proxy->user = credentials.substr(0, colon);
        if (colon != std::wstring::npos) proxy->password = credentials.substr(colon + 1);
        rest = rest.substr(at + 1);
    }
    proxy->port = 8080;
    const size_t colon = rest.rfind(L':');
    if (colon != std::wstring::npos) {
        wchar_t* end = nullptr;
        const unsigned long port = std::wcstoul(rest.c_str() + colon + 1, &end, 10);
        if (colon + 1 == rest.size() || *end != 0 || port == 0 || port > 65535) {
            *why = L"the proxy's port is not a number from 1 to 65535";
            return false;
        }
        proxy->port = static_cast<unsigned>(port);
        rest = rest.substr(0, colon);
    }
    if (rest.empty() || rest.find_first_of(L"/?# ") != std::wstring::npos) {
        *why = L"the proxy names no host";
        return false;
    }
    proxy->host = rest;
    proxy->mode = SProxy::EXPLICIT;
    return true;
}
