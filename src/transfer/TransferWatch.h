// Bounds one HTTP attempt from the connect to the last byte, on a thread of
// its own: at least minBytes of progress within every window, and the whole
// attempt within a deadline. A WinINet call that waits (for the connection,
// the status line, the headers or the body) cannot be woken otherwise, and
// closing a request with a body left makes WinINet read that body to its end;
// so an exceeded bound shuts the sockets of the connection down, and the
// waiting call returns at once with nothing more read.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "base/utility/WinHandle.h"

enum ETransferBreach {
    BREACH_NONE = 0,
    BREACH_STALL,     // fewer than minBytes within a window
    BREACH_DEADLINE,  // the whole response took too long
    BREACH_CALLER,    // the caller broke the connection (a bound of its own)
};

class CTransferWatch {
public:
    // host and port: the peer whose connections are shut down on a breach.
    CTransferWatch(const std::wstring& host, unsigned port, DWORD windowMs, std::uint32_t minBytes);
    ~CTransferWatch();
    CTransferWatch(const CTransferWatch&) = delete;
    CTransferWatch& operator=(const CTransferWatch&) = delete;

    // The attempt ends at start + ms (0: no deadline).
    void SetDeadline(ULONGLONG ms) { m_deadlineMs = ms; }
    // Bytes received so far in this attempt.
    void Progress(std::uint64_t bytes) { m_bytes = bytes; }
    // A pause of ours (the rate limit) is no silence of the server's.
    void Rested() { m_rested = true; }
    // Shuts the connection down now; the first breach stays.
    void Break(ETransferBreach why = BREACH_CALLER);
    ETransferBreach Breach() const { return m_breach; }

private:
    static unsigned __stdcall Run(void* self);
    void Watch();

    std::wstring m_host;
    unsigned m_port;
    DWORD m_windowMs;
    std::uint32_t m_minBytes;
    ULONGLONG m_start;
    std::atomic<ULONGLONG> m_deadlineMs{0};
    std::atomic<std::uint64_t> m_bytes{0};
    std::atomic<bool> m_rested{false};
    std::atomic<ETransferBreach> m_breach{BREACH_NONE};
    Base::Utility::CKernelHandle m_hDone;
    Base::Utility::CKernelHandle m_hThread;
};

// Shuts down every socket of this process connected to host:port; the count.
int BreakConnectionsTo(const std::wstring& host, unsigned port);
