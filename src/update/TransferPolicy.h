// How the engine's transfers behave beyond its configuration: the stall
// window, the rate limit and the proxy a caller puts over the configured
// ones, the pauses between attempts, and how long an installation waits for
// a file another program holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "transfer/DownloadRetry.h"
#include "transfer/INetDownLoad.h"

class CTransferPolicy {
public:
    explicit CTransferPolicy(CINetDownLoad& download) : m_download(download) {}

    // The stall window of transfers in ms, over the configuration's (0: the
    // configuration's, 30 s by default).
    void SetStallTimeout(DWORD ms)
    {
        m_nStallMs = ms;
        if (ms) m_download.SetStallRule(ms, CINetDownLoad::kDefaultStallBytes);
    }
    // The rate limit of transfers in KiB/s over the configuration's (0: the
    // configuration's, none by default).
    void SetRateLimit(std::uint32_t kib)
    {
        m_nRateLimitKiB = kib;
        if (kib) m_download.SetRateLimit(kib * 1024);
    }
    // The proxy over the configuration's ("" for the configuration's; updater --proxy).
    void SetProxy(const std::wstring& proxy) { m_strProxy = proxy; }
    // Pauses between the attempts of one download after a failure that time
    // may mend (no connection, a stall, a server error): doubled each time up
    // to the cap. A stop request ends a pause at once.
    void SetRetryPause(DWORD firstMs, DWORD capMs)
    {
        m_nRetryPauseMs = firstMs;
        m_nRetryPauseCapMs = capMs;
    }

    // What applies, given the configuration's.
    DWORD StallMs(DWORD configured) const { return m_nStallMs ? m_nStallMs : configured; }
    std::uint32_t RateLimitKiB(std::uint32_t configured) const { return m_nRateLimitKiB ? m_nRateLimitKiB : configured; }
    std::wstring ProxyText(const std::wstring& configured) const { return m_strProxy.empty() ? configured : m_strProxy; }
    // The attempts of one download, with their pauses.
    SRetryPolicy RetryPolicy() const
    {
        SRetryPolicy policy;
        policy.firstPauseMs = m_nRetryPauseMs;
        policy.pauseCapMs = m_nRetryPauseCapMs;
        return policy;
    }
    // How long a file that another program holds open is waited for when installing.
    DWORD LockWaitMs() const { return m_nLockWaitMs; }

private:
    CINetDownLoad& m_download;
    DWORD m_nStallMs = 0;
    std::uint32_t m_nRateLimitKiB = 0;
    std::wstring m_strProxy;
    DWORD m_nRetryPauseMs = 1000;
    DWORD m_nRetryPauseCapMs = 8000;
    DWORD m_nLockWaitMs = 30000;
};
