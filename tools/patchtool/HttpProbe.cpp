#include "HttpProbe.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
typedef SOCKET TSocket;
#define TW_CLOSESOCKET closesocket
#else
#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
typedef int TSocket;
#define INVALID_SOCKET (-1)
#define TW_CLOSESOCKET close
#endif

#include "transfer/Md5.h"

namespace {

struct SSocket {
    TSocket s = INVALID_SOCKET;
    ~SSocket()
    {
        if (s != INVALID_SOCKET) TW_CLOSESOCKET(s);
    }
};

bool StartSockets()
{
#ifdef _WIN32
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
#else
    return true;
#endif
}

void SetTimeouts(TSocket s, int ms)
{
#ifdef _WIN32
    DWORD t = static_cast<DWORD>(ms);
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&t), sizeof t);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&t), sizeof t);
#else
    timeval t = {ms / 1000, (ms % 1000) * 1000};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
#endif
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

SHttpAnswer HttpGet(const std::string& url, const std::string& range, int timeoutMs)
{
    SHttpAnswer a;
    if (url.compare(0, 7, "http://") != 0) {
        a.error = "only http:// addresses can be checked";
        return a;
    }
    const size_t slash = url.find('/', 7);
    const std::string hostPort = url.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
    const std::string path = slash == std::string::npos ? "/" : url.substr(slash);
    const size_t colon = hostPort.rfind(':');
    const std::string host = colon == std::string::npos ? hostPort : hostPort.substr(0, colon);
    const std::string port = colon == std::string::npos ? "80" : hostPort.substr(colon + 1);
    if (!StartSockets()) {
        a.error = "sockets cannot start";
        return a;
    }
    addrinfo hints = {}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr) {
        a.error = "cannot resolve " + host;
        return a;
    }
    SSocket s;
    s.s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    const bool connected = s.s != INVALID_SOCKET && connect(s.s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
    freeaddrinfo(found);
    if (!connected) {
        a.error = "no connection to " + hostPort;
        return a;
    }
    SetTimeouts(s.s, timeoutMs);
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + hostPort + "\r\n" +
                                (range.empty() ? "" : "Range: bytes=" + range + "\r\n") +
                                "Accept-Encoding: identity\r\nConnection: close\r\n\r\n";
    if (send(s.s, request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size())) {
        a.error = "the request cannot be sent";
        return a;
    }
    std::string head;
    char buf[65536];
    CMd5 md5;
    bool inBody = false;
    for (;;) {
        const int n = recv(s.s, buf, sizeof buf, 0);
        if (n < 0) {
            a.error = "the answer stopped (time-out or reset)";
            break;
        }
        if (n == 0) break;
        if (inBody) {
            md5.Update(buf, static_cast<size_t>(n));
            a.length += static_cast<std::uint64_t>(n);
            continue;
        }
        head.append(buf, static_cast<size_t>(n));
        const size_t end = head.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (head.size() > 65536) {
                a.error = "headers past 64 KiB";
                return a;
            }
            continue;
        }
        inBody = true;
        const std::string body = head.substr(end + 4);
        md5.Update(body.data(), body.size());
        a.length += body.size();
        head.resize(end);
    }
    if (head.compare(0, 5, "HTTP/") != 0 || head.size() < 12) {
        if (a.error.empty()) a.error = "no HTTP answer";
        return a;
    }
    a.status = std::atoi(head.substr(9, 3).c_str());
    for (size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
        const size_t next = head.find("\r\n", at + 2);
        const std::string line = head.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
        if (Lower(line).compare(0, 14, "content-range:") == 0) {
            a.contentRange = line.substr(14);
            while (!a.contentRange.empty() && a.contentRange[0] == ' ') a.contentRange.erase(0, 1);
        }
    }
    unsigned char digest[16];
    md5.Final(digest);
    a.md5 = Md5Hex(digest);
    return a;
}
