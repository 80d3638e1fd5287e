// The downloader over WinINet: one URL into one file, synchronously.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <string>

#include "DownLoad.h"
#include "base/utility/WinHandle.h"

class CINetDownLoad : public IDownLoad {
public:
    CINetDownLoad() = default;
    ~CINetDownLoad() = default;
    CINetDownLoad(const CINetDownLoad&) = delete;
    CINetDownLoad& operator=(const CINetDownLoad&) = delete;

    int Init() override;
    int Close() override;
    int Download(const wchar_t* url, const wchar_t* localPath, std::uint32_t* receivedSize,
                 std::uint32_t a = 0, std::uint32_t b = 0, std::uint32_t c = 0,
                 std::uint32_t d = 0) override;
    void SetProgressCallback(DownloadProgressFunc func) override { m_progress = func; }
    // While *flag is true a running transfer ends after its current read.
    void SetCancelFlag(const std::atomic<bool>* flag) { m_cancel = flag; }

    // A transfer whose length keeps differing from the announced one is
    // fetched at most this many times.
    static const int kMaxAttempts = 3;
    static const DWORD kReadBuffer = 0x400000;

    std::uint32_t Received() const { return m_received; }
    std::uint32_t Total() const { return m_total; }

private:
    // DOWNLOAD_* or -1 to fetch again.
    int Attempt(const std::wstring& url, const wchar_t* localPath, unsigned char* buffer,
                std::uint64_t* length);

    Base::Utility::CInternetHandle m_hSession;
    // Read by other threads while a transfer runs.
    std::atomic<std::uint32_t> m_received{0};
    std::atomic<std::uint32_t> m_total{0};
    DownloadProgressFunc m_progress = nullptr;
    const std::atomic<bool>* m_cancel = nullptr;
};
