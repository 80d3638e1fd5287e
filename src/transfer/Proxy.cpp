#include "Proxy.h"

#include <windows.h>
#include <wininet.h>

#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

// %XX as the byte it stands for: a user or password may hold "@" or ":".
std::wstring PercentDecoded(const std::wstring& text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 2 < text.size() && iswxdigit(text[i + 1]) && iswxdigit(text[i + 2])) {
            out.push_back(static_cast<wchar_t>(std::wcstoul(text.substr(i + 1, 2).c_str(), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

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
        proxy->user = PercentDecoded(credentials.substr(0, colon));
        if (colon != std::wstring::npos) proxy->password = PercentDecoded(credentials.substr(colon + 1));
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

std::wstring ProxyForLog(const std::wstring& text)
{
    const size_t at = text.rfind(L'@'), scheme = text.find(L"://");
    const size_t from = scheme == std::wstring::npos ? 0 : scheme + 3;
    if (at == std::wstring::npos || at < from) return text;
    const size_t colon = text.find(L':', from);
    return colon != std::wstring::npos && colon < at ? text.substr(0, colon) + L":***" + text.substr(at) : text;
}

SProxy SystemProxy(void* session)
{
    SProxy proxy;
    proxy.mode = SProxy::DIRECT;
    DWORD size = 0;
    InternetQueryOptionW(session, INTERNET_OPTION_PROXY, nullptr, &size);
    if (size == 0) return proxy;
    std::vector<unsigned char> buffer(size);
    if (!InternetQueryOptionW(session, INTERNET_OPTION_PROXY, buffer.data(), &size)) return proxy;
    const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
    if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || info->lpszProxy == nullptr) return proxy;
    // "host:port", or per scheme "http=host:port https=..." (also with ';').
    std::wstring list = reinterpret_cast<const wchar_t*>(info->lpszProxy), chosen;
    for (size_t i = 0; i <= list.size();) {
        const size_t end = list.find_first_of(L" ;", i);
        const std::wstring item = list.substr(i, end == std::wstring::npos ? std::wstring::npos : end - i);
        const size_t eq = item.find(L'=');
        if (!item.empty() && (eq == std::wstring::npos || item.compare(0, eq, L"http") == 0)) {
            chosen = eq == std::wstring::npos ? item : item.substr(eq + 1);
            if (eq != std::wstring::npos || chosen.empty()) break;
        }
        if (end == std::wstring::npos) break;
        i = end + 1;
    }
    std::wstring why;
    SProxy named;
    if (!chosen.empty() && ParseProxy(L"http://" + chosen, &named, &why)) return named;
    return proxy;
}
