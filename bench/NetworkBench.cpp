// Loopback figures of the network library: throughput of framed, scrambled
// messages through one CClientSession against a plain blocking-socket pair
// doing the same framing and scrambling, round-trip latency, and an opt-in
// soak that connects, exchanges and closes over and over while it watches
// the process's memory and handles.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/network/ClientSession.h"
#include "base/network/MsgPackQueue.h"
#include "base/network/NetworkConnector.h"
#include "base/network/NetworkSession.h"
#include "base/network/StreamScramble.h"
#include "base/network/TcpSocket.h"

using namespace Base::NetWork;
typedef std::chrono::steady_clock Clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

struct ListenSocket {
    CTcpSocket socket;
    std::uint16_t port = 0;
    ListenSocket()
    {
        if (socket.Bind("127.0.0.1", 0) && socket.Listen(16)) port = socket.GetAddr().GetPort();
    }
    SOCKET Accept()
    {
        SOCKET s = INVALID_SOCKET;
        socket.Accept(s);
        return s;
    }
};

SOCKET Dial(std::uint16_t port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return s;
}

// Writes of at most 8 KiB, the size of the session's own sends, so that
// both sides of the comparison push the same pieces.
bool SendAll(SOCKET s, const char* p, std::size_t n)
{
    while (n) {
        const int sent = send(s, p, static_cast<int>(std::min<std::size_t>(n, 8192)), 0);
        if (sent <= 0) return false;
        p += sent;
        n -= static_cast<std::size_t>(sent);
    }
    return true;
}

std::string Message(std::uint16_t id, std::uint32_t size)
{
    std::string m(size, '\0');
    WriteLe32(&m[0], size);
    WriteLe16(&m[4], id);
    for (std::uint32_t i = 7; i < size; ++i) m[i] = static_cast<char>(i * 31);
    return m;
}

// Blocking receiver: unscrambles and frames until `count` messages arrived.
bool ReceiveFramed(SOCKET s, std::uint32_t count)
{
    std::vector<char> buffer(256 * 1024);
    std::uint8_t key = SCRAMBLE_INITIAL_KEY;
    std::uint32_t done = 0;
    std::uint64_t leftInMessage = 0;
    char header[7];
    std::uint32_t headerHave = 0;
    while (done < count) {
        const int got = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (got <= 0) return false;
        UnscrambleStream(key, buffer.data(), static_cast<std::uint32_t>(got));
        for (int i = 0; i < got;) {
            if (leftInMessage == 0) {
                header[headerHave++] = buffer[i++];
                if (headerHave == 7) {
                    const std::uint32_t length = ReadLe32(header);
                    if (length < 7 || length > MSG_MAX_LENGTH) return false;
                    leftInMessage = length - 7;
                    headerHave = 0;
                    if (leftInMessage == 0) ++done;
                }
            } else {
                const std::uint64_t take = std::min<std::uint64_t>(leftInMessage, static_cast<std::uint64_t>(got - i));
                i += static_cast<int>(take);
                leftInMessage -= take;
                if (leftInMessage == 0) ++done;
            }
        }
    }
    return true;
}

// Blocking sender: scrambles the messages as one stream.
bool SendFramed(SOCKET s, const std::string& message, std::uint32_t count)
{
    std::uint8_t key = SCRAMBLE_INITIAL_KEY;
    std::string batch;
    const std::uint32_t perBatch = std::max<std::uint32_t>(1, (256 * 1024) / static_cast<std::uint32_t>(message.size()));
    for (std::uint32_t sent = 0; sent < count;) {
        batch.clear();
        for (std::uint32_t i = 0; i < perBatch && sent < count; ++i, ++sent) batch += message;
        ScrambleStream(key, &batch[0], static_cast<std::uint32_t>(batch.size()));
        if (!SendAll(s, batch.data(), batch.size())) return false;
    }
    return true;
}

double ReferenceRate(const std::string& message, std::uint32_t count)
{
    ListenSocket listener;
    std::atomic<bool> ok{false};
    std::thread receiver([&] {
        SOCKET s = listener.Accept();
        ok = ReceiveFramed(s, count);
        closesocket(s);
    });
    SOCKET out = Dial(listener.port);
    const auto t0 = Clock::now();
    SendFramed(out, message, count);
    receiver.join();
    const auto t1 = Clock::now();
    closesocket(out);
    return ok ? double(message.size()) * count / Seconds(t0, t1) : 0;
}

bool WaitUntil(const std::function<bool()>& pred, double seconds)
{
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (!pred()) {
        if (Clock::now() > deadline) return false;
        SwitchToThread();
    }
    return true;
}

CClientSession* ConnectedSession(std::uint16_t port, SOCKET& server, ListenSocket& listener,
                                 std::uint32_t size = CClientSession::DEFAULT_SIZE)
{
    auto* session = new CClientSession(size);
    session->SetEncode(true);
    session->Connect("127.0.0.1", port);
    server = listener.Accept();
    WaitUntil([&] { return session->IsConnected() && session->IsSendEnabled(); }, 10);
    return session;
}

double SessionSendRate(const std::string& message, std::uint32_t count, std::uint32_t size)
{
    ListenSocket listener;
    SOCKET server = INVALID_SOCKET;
    CClientSession* session = ConnectedSession(listener.port, server, listener, size);
    std::atomic<bool> ok{false};
    std::atomic<bool> doneFlag{false};
    Clock::time_point t1;
    std::thread receiver([&] {
        ok = ReceiveFramed(server, count);
        t1 = Clock::now();
        doneFlag = true;
    });
    const auto t0 = Clock::now();
    for (std::uint32_t i = 0; i < count; ++i) {
        // Keep a few messages queued rather than all of them.
        WaitUntil([&] { return session->SendQueue().Count() < 64; }, 30);
        session->Send(message.data());
    }
    receiver.join();
    session->Release();
    closesocket(server);
    return ok ? double(message.size()) * count / Seconds(t0, t1) : 0;
}

// The rate of what arrived within `limit` seconds.
double SessionRecvRate(const std::string& message, std::uint32_t count, std::uint32_t size, double limit)
{
    ListenSocket listener;
    SOCKET server = INVALID_SOCKET;
    CClientSession* session = ConnectedSession(listener.port, server, listener, size);
    std::thread sender([&] { SendFramed(server, message, count); });
    const auto t0 = Clock::now();
    CMsgPackQueue& q = session->RecvQueue();
    WaitUntil([&] { return q.Count() == count && !q.IsTailIncomplete(); }, limit);
    const auto t1 = Clock::now();
    const std::uint32_t arrived = q.Count();
    // Closing the server's end lets a sender stuck on a full window go.
    shutdown(server, SD_BOTH);
    closesocket(server);
    sender.join();
    session->Release();
    return double(message.size()) * arrived / Seconds(t0, t1);
}

// Round trips of one small message through the session and a blocking echo.
std::vector<double> SessionRoundTrips(unsigned count)
{
    ListenSocket listener;
    SOCKET server = INVALID_SOCKET;
    CClientSession* session = ConnectedSession(listener.port, server, listener);
    std::thread echo([&] {
        std::uint8_t inKey = SCRAMBLE_INITIAL_KEY, outKey = SCRAMBLE_INITIAL_KEY;
        char buffer[64];
        for (unsigned i = 0; i < count; ++i) {
            int have = 0;
            while (have < 64) {
                const int got = recv(server, buffer + have, 64 - have, 0);
                if (got <= 0) return;
                have += got;
            }
            UnscrambleStream(inKey, buffer, 64);
            ScrambleStream(outKey, buffer, 64);
            if (!SendAll(server, buffer, 64)) return;
        }
    });
    const std::string ping = Message(9, 64);
    std::vector<double> out;
    for (unsigned i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        session->Send(ping.data());
        if (!WaitUntil([&] { return session->RecvQueue().Count() == i + 1 && !session->RecvQueue().IsTailIncomplete(); }, 5))
            break;
        out.push_back(Seconds(t0, Clock::now()) * 1e6);
    }
    echo.join();
    session->Release();
    closesocket(server);
    return out;
}

std::vector<double> ReferenceRoundTrips(unsigned count)
{
    ListenSocket listener;
    std::thread echo([&] {
        SOCKET s = listener.Accept();
        char buffer[64];
        for (unsigned i = 0; i < count; ++i) {
            int have = 0;
            while (have < 64) {
                const int got = recv(s, buffer + have, 64 - have, 0);
                if (got <= 0) return;
                have += got;
            }
            SendAll(s, buffer, 64);
        }
        closesocket(s);
    });
    SOCKET s = Dial(listener.port);
    char buffer[64] = {};
    std::vector<double> out;
    for (unsigned i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        SendAll(s, buffer, 64);
        int have = 0;
        while (have < 64) {
            const int got = recv(s, buffer + have, 64 - have, 0);
            if (got <= 0) break;
            have += got;
        }
        out.push_back(Seconds(t0, Clock::now()) * 1e6);
    }
    echo.join();
    closesocket(s);
    return out;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5))];
}

int Throughput()
{
    std::printf("Loopback throughput of framed, scrambled messages in MB/s (ratio to the reference:\n"
                "a blocking sender and a blocking receiver doing the same framing and scrambling)\n");
    std::printf("%-8s %9s | %-23s | %-23s | %-23s\n", "message", "reference", "session send, 8 KiB buf",
                "session recv, 8 KiB buf", "session recv, 64 KiB buf");
    const struct {
        const char* name;
        std::uint32_t size;
        std::uint32_t count;
    } cases[] = {{"1 KiB", 1024, 12000}, {"64 KiB", 65536, 200}};
    for (const auto& c : cases) {
        const std::string m = Message(1, c.size);
        const double ref = ReferenceRate(m, c.count);
        const double send = SessionSendRate(m, c.count, CClientSession::DEFAULT_SIZE);
        const double recvSmall = SessionRecvRate(m, c.count, CClientSession::DEFAULT_SIZE, 5);
        const double recvLarge = SessionRecvRate(m, c.count, 64 * 1024, 60);
        std::printf("%-8s %9.1f | %9.1f  ratio %6.3f | %9.1f  ratio %6.3f | %9.1f  ratio %6.3f\n", c.name, ref / 1e6,
                    send / 1e6, send / ref, recvSmall / 1e6, recvSmall / ref, recvLarge / 1e6, recvLarge / ref);
    }
    const unsigned trips = 2000;
    const std::vector<double> session = SessionRoundTrips(trips);
    const std::vector<double> reference = ReferenceRoundTrips(trips);
    std::printf("Round trip of a 64-byte message (%u trips, microseconds)\n", trips);
    std::printf("  session   p50 %8.0f  p99 %8.0f  (%zu done)\n", Percentile(session, 0.5), Percentile(session, 0.99),
                session.size());
    std::printf("  reference p50 %8.0f  p99 %8.0f\n", Percentile(reference, 0.5), Percentile(reference, 0.99));
    return 0;
}

// The in-process echo peer of the soak: one connection at a time.
void SoakEcho(ListenSocket* listener, std::atomic<bool>* stop)
{
    std::vector<char> buffer(4096);
    while (!*stop) {
        SOCKET s = listener->Accept();
        if (s == INVALID_SOCKET) return;
        const int small = 8192;
        setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&small), sizeof small);
        for (;;) {
            const int got = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
            if (got <= 0) break;
            // Both directions start from the same key, so the scrambled
            // bytes can be echoed as they are.
            if (!SendAll(s, buffer.data(), static_cast<std::size_t>(got))) break;
        }
        closesocket(s);
    }
}

// Committed private memory, summed over the address space (Wine reports no
// private usage through the process counters).
double CommittedPrivateMiB()
{
    std::uint64_t total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char* p = nullptr; VirtualQuery(p, &info, sizeof info) == sizeof info;) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= p) break;
        p = next;
    }
    return total / 1048576.0;
}

// Open handles, found by asking about every handle value in the low range
// (Wine does not count them for GetProcessHandleCount).
unsigned OpenHandles()
{
    unsigned count = 0;
    DWORD flags;
    for (std::uintptr_t h = 4; h < 0x40000; h += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) ++count;
    return count;
}

void PrintUsage(double elapsed, unsigned long long rounds, unsigned long long failures)
{
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    std::printf("%5.0f s  rounds %7llu  failed %llu  committed private %6.1f MiB  working set %6.1f MiB  handles %u\n",
                elapsed, rounds, failures, CommittedPrivateMiB(), pmc.WorkingSetSize / 1048576.0, OpenHandles());
    std::fflush(stdout);
}

int Soak(double seconds)
{
    ListenSocket listener;
    std::atomic<bool> stop{false};
    std::thread echo(&SoakEcho, &listener, &stop);
    CNetworkConnector connector;
    connector.SetEncode(true);
    connector.Init("127.0.0.1", listener.port);
    // Small enough for one window each way: 8 KiB socket buffers crawl on
    // loopback behind bulk data, and the soak is about leaks, not speed.
    const std::string small = Message(3, 100), large = Message(4, 2000);
    unsigned long long rounds = 0, failures = 0;
    const auto start = Clock::now();
    auto nextReport = start;
    while (Seconds(start, Clock::now()) < seconds) {
        if (Clock::now() >= nextReport) {
            PrintUsage(Seconds(start, Clock::now()), rounds, failures);
            nextReport += std::chrono::seconds(30);
        }
        // Connect (the previous session is released), exchange, close.
        connector.Connect();
        CNetworkSession* session = connector.GetSession();
        bool ok = WaitUntil([&] { return connector.IsConnected(); }, 5);
        for (int i = 0; ok && i < 20; ++i) ok = connector.Send((i % 5 ? small : large).data());
        ok = ok && WaitUntil([&] { return session->RecvQueue().Count() == 20 && !session->RecvQueue().IsTailIncomplete(); }, 5);
        connector.Close();
        WaitUntil([&] { return session->GetState() == TCP_STATE_IDLE && !session->IsClosing(); }, 5);
        ++rounds;
        if (!ok) ++failures;
    }
    PrintUsage(Seconds(start, Clock::now()), rounds, failures);
    stop = true;
    listener.socket.Close();
    echo.join();
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc >= 2 && std::strcmp(argv[1], "soak") == 0) return Soak(argc >= 3 ? std::atof(argv[2]) : 600);
    return Throughput();
}
