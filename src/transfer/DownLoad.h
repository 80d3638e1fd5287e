// The downloader interface of the update engine.
#pragma once

#include <cstdint>

// (announced total, received so far, bytes per second)
typedef void (*DownloadProgressFunc)(std::uint32_t total, std::uint32_t received, std::uint32_t speed);

// Result codes of Download.
enum EDownloadResult : int {
    DOWNLOAD_OK = 0,
    DOWNLOAD_REQUEST_FAILED = 3,  // not opened, bad status, or never the announced length
    DOWNLOAD_NO_DIRECTORY = 4,
    DOWNLOAD_NO_FILE = 5,         // the local file could not be opened, written or moved into place
    DOWNLOAD_STOPPED = 6,         // the cancel flag was raised during the transfer
    DOWNLOAD_DISK_FULL = 7,       // too little free space for the stated size, or a write found the disk full
    DOWNLOAD_TOO_LARGE = 8,       // a body past its stated size or past the cap
    DOWNLOAD_STALLED = 9,         // too few bytes within a stall window
    DOWNLOAD_TOO_SLOW = 10,       // the whole response took longer than its size allows at the minimum rate
    DOWNLOAD_SIZE_MISMATCH = 11,  // the server's file is not the stated size (announced, or its body ended so)
    DOWNLOAD_AGAIN = -1,          // an attempt's own verdict: the next attempt starts at once (never returned)
};

class IDownLoad {
public:
    virtual int Init() = 0;
    virtual int Close() = 0;
    virtual int Download(const wchar_t* url, const wchar_t* localPath, std::uint32_t* receivedSize,
                         std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) = 0;
    virtual void Reserved1(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
    virtual void Reserved2(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
    virtual void Reserved3(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
    virtual void SetProgressCallback(DownloadProgressFunc) {}

protected:
    ~IDownLoad() = default;
};
