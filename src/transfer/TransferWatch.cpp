#include <winsock2.h>
#include <ws2tcpip.h>

#include "TransferWatch.h"

#include <process.h>

#include <cstring>
#include <vector>

#include "base/system/Winsock.h"

namespace {

const DWORD kTickMs = 100;
// Socket handles are kernel handles: multiples of 4 below this cover every
// process that has not opened tens of thousands of handles.
const ULONG_PTR kHandleScanEnd = 0x40000;

bool SameAddress(const sockaddr* a, const sockaddr* b)
{
    if (a->sa_family != b->sa_family) return false;
    if (a->sa_family == AF_INET)
        return reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in*>(b)->sin_addr.s_addr;
    if (a->sa_family == AF_INET6)
        return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr,
                           &reinterpret_cast<const sockaddr_in6*>(b)->sin6_addr, sizeof(in6_addr)) == 0;
    return false;
}

unsigned PortOf(const sockaddr* a)
{
    if (a->sa_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(a)->sin_port);
    if (a->sa_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(a)->sin6_port);
    return 0;
}

}  // namespace

int BreakConnectionsTo(const std::wstring& host, unsigned port)
{
    if (!Base::System::IsWinsockStarted()) return 0;
    ADDRINFOW hints = {};
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    if (GetAddrInfoW(host.c_str(), nullptr, &hints, &found) != 0) return 0;
    std::vector<sockaddr_storage> peers;
    for (const ADDRINFOW* a = found; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        sockaddr_storage s = {};
        std::memcpy(&s, a->ai_addr, a->ai_addrlen);
        peers.push_back(s);
    }
    FreeAddrInfoW(found);
    int count = 0;
    for (ULONG_PTR h = 4; h < kHandleScanEnd; h += 4) {
        sockaddr_storage peer = {};
        int length = sizeof peer;
        if (getpeername(static_cast<SOCKET>(h), reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
        if (PortOf(reinterpret_cast<sockaddr*>(&peer)) != port) continue;
        for (const sockaddr_storage& p : peers) {
            if (!SameAddress(reinterpret_cast<const sockaddr*>(&p), reinterpret_cast<sockaddr*>(&peer))) continue;
            shutdown(static_cast<SOCKET>(h), SD_BOTH);
            ++count;
            break;
        }
    }
    return count;
}

CTransferWatch::CTransferWatch(const std::wstring& host, unsigned port, DWORD windowMs, std::uint32_t minBytes)
    : m_host(host), m_port(port), m_windowMs(windowMs), m_minBytes(minBytes), m_start(GetTickCount64())
{
    m_hDone.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (m_hDone && windowMs > 0)
        m_hThread.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 64 * 1024, &Run, this, 0, nullptr)));
}

CTransferWatch::~CTransferWatch()
{
    if (m_hThread) {
        SetEvent(m_hDone.Get());
        WaitForSingleObject(m_hThread.Get(), INFINITE);
    }
}

unsigned __stdcall CTransferWatch::Run(void* self)
{
    static_cast<CTransferWatch*>(self)->Watch();
    return 0;
}

void CTransferWatch::Break(ETransferBreach why)
{
    ETransferBreach none = BREACH_NONE;
    m_breach.compare_exchange_strong(none, why);
    BreakConnectionsTo(m_host, m_port);
}

void CTransferWatch::Watch()
{
    // The window restarts whenever minBytes more have arrived.
    ULONGLONG markTime = m_start;
    std::uint64_t markBytes = 0;
    while (WaitForSingleObject(m_hDone.Get(), kTickMs) == WAIT_TIMEOUT) {
        const ULONGLONG now = GetTickCount64();
        const std::uint64_t bytes = m_bytes;
        if (bytes - markBytes >= m_minBytes || m_rested.exchange(false)) {
            markTime = now;
            markBytes = bytes;
        }
        const ULONGLONG deadline = m_deadlineMs;
        if (now - markTime >= m_windowMs)
            Break(BREACH_STALL);
        else if (deadline != 0 && now - m_start >= deadline)
            Break(BREACH_DEADLINE);
        else
            continue;
        return;
    }
}
