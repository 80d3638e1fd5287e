// The downloader over WinINet: one URL into one file, synchronously. The
// body is written to a temporary name and moved into place only when the
// response was good and complete, so a failed download never creates,
// truncates or replaces its target. A body whose server names a validator
// (a strong ETag or Last-Modified) and a length keeps what arrived when a
// transfer breaks off: NAME.part and its record NAME.resume, from which a
// later attempt, in this process or the next, asks for the rest.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>

#include "DownLoad.h"
#include "Md5.h"
#include "Minisign.h"
#include "Proxy.h"
#include "base/utility/WinHandle.h"

// What one download may take.
struct SDownloadLimits {
    std::uint64_t statedSize = 0;  // from a table; 0 when none. The body must be exactly this.
    std::uint64_t maxSize = ~0ull; // never more, whatever the server announces
    std::wstring tempDir;          // where the body waits (ends with a backslash); "" for the target's folder
};

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
    EDownloadResult DownloadFile(const wchar_t* url, const wchar_t* localPath, const SDownloadLimits& limits,
                     std::uint64_t* receivedSize);
    void SetProgressCallback(DownloadProgressFunc func) override { m_progress = func; }
    // Bytes first..last of url into *body with one Range request, under the
    // same stall, deadline and rate rules as a download: DOWNLOAD_OK only for
    // exactly those bytes (206 with the matching Content-Range, or 200 for a
    // file that is exactly them). *received counts bytes as they arrive.
    EDownloadResult FetchRange(const wchar_t* url, std::uint64_t first, std::uint64_t last, std::string* body,
                   std::atomic<std::uint64_t>* received = nullptr);
    // While *flag is true a running transfer ends after its current read.
    void SetCancelFlag(const std::atomic<bool>* flag) { m_cancel = flag; }
    // A body of no stated size (no table size, no Content-Length) is cut off here.
    void SetUnsizedCap(std::uint64_t bytes) { m_unsizedCap = bytes; }
    // A transfer that receives fewer than minBytes within windowMs (nothing
    // at all included) is abandoned.
    void SetStallRule(DWORD windowMs, std::uint32_t minBytes)
    {
        m_stallMs = windowMs;
        m_stallBytes = minBytes;
    }

    // A response slower than this on average (with a slack of two stall
    // windows) is abandoned; 0 for none.
    void SetMinRate(std::uint32_t bytesPerSecond) { m_minRate = bytesPerSecond; }
    // At most bytesPerSecond are read on average (0: no limit).
    void SetRateLimit(std::uint32_t bytesPerSecond) { m_rate = bytesPerSecond; }
    // The volume the downloads go to fills up at this budget (null: as it is).
    void SetDiskBudget(class CDiskBudget* budget) { m_diskBudget = budget; }
    std::uint32_t RateLimit() const { return m_rate; }
    DWORD StallMs() const { return m_stallMs; }
    std::uint32_t StallBytes() const { return m_stallBytes; }
    std::uint32_t MinRate() const { return m_minRate; }
    // The MD5 and BLAKE2b-512 (what a signature signs) of each downloaded
    // file, taken from the bytes as they arrive: no second pass over the file.
    void SetDigests(bool on) { m_digests = on; }
    // The proxy of the next session (Init again after a change).
    void SetProxy(const SProxy& proxy)
    {
        m_proxy = proxy;
        m_hSession.Reset();
    }
    const SProxy& Proxy() const { return m_proxy; }
    // The digests of the last download that ended well, when it went to localPath.
    bool DigestsOf(const std::wstring& localPath, std::string* md5Hex,
                   unsigned char blake2b[kMinisignDigestBytes]) const;
    // The HTTP status of the last response, 0 when none came.
    DWORD LastStatus() const { return m_status; }
    // The Windows error of the last failed call of a transfer, 0 when none.
    DWORD LastError() const { return m_lastError; }
    // The whole length the server's last response announced (0 when none).
    std::uint64_t AnnouncedLength() const { return m_announced; }
    // Where a download to localPath keeps its partial body and its record.
    static std::wstring PartPath(const std::wstring& localPath, const SDownloadLimits& limits);
    static std::wstring RecordPath(const std::wstring& partPath);
    // Forgets what an earlier transfer to localPath left.
    static void DiscardPartial(const std::wstring& localPath, const SDownloadLimits& limits);

    // A transfer whose length keeps differing from the announced one is
    // fetched at most this many times; a broken one resumes in the next.
    static const int kMaxAttempts = 3;
    static const int kMaxResumes = 32;
    static const DWORD kReadBuffer = 0x400000;
    static const std::uint64_t kFastRate = 8u << 20;  // bytes a second
    static const std::uint64_t kDefaultUnsizedCap = 2048ull << 20;
    static const DWORD kDefaultStallMs = 30000;
    static const std::uint32_t kDefaultStallBytes = 4096;
    static const std::uint32_t kDefaultMinRate = 1024;

    std::uint32_t Received() const { return m_received; }
    std::uint32_t Total() const { return m_total; }

private:
    struct SRequestTarget {
        std::wstring host;
        std::wstring object;
        INTERNET_PORT port;
        bool secure;
        std::wstring headers;
    };
    struct SBody {
        HINTERNET request;
        HANDLE file;
        unsigned char* buffer;
        std::uint64_t have;   // already in the file
        std::uint64_t limit;  // never written past
        std::uint64_t whole;
        bool hasWhole;
        bool stated;  // limit is the stated size: a longer body is not the file
        bool readFailed = false;
    };
    // Connection, request, status: DOWNLOAD_OK once the headers are in.
    EDownloadResult SendRequest(const SRequestTarget& target, HINTERNET* connection, HINTERNET* request);
    EDownloadResult ReceiveBody(SBody& body, class CTransferWatch& watch);
    // How long a response of bytes may take, from the request on.
    ULONGLONG DeadlineMs(std::uint64_t bytes) const;
    // One request and its body into part (continuing it where it can):
    // DOWNLOAD_AGAIN to go again at once.
    EDownloadResult Attempt(const std::wstring& url, const std::wstring& part, const SDownloadLimits& limits,
                            unsigned char* buffer, std::uint64_t* length);
    // What an answer's headers say of the file and of the bytes held.
    struct SAnswer {
        std::uint64_t whole = 0;  // the whole file's length, where known
        bool hasWhole = false;
        bool append = false;      // the body continues the part file
        std::uint64_t have = 0;   // the part file's bytes it continues
        std::uint64_t limit = 0;  // never written past
        std::string etag, lastModified;
    };
    // The status and lengths checked against the part file held (have
    // bytes recorded as saved) and the limits; the deadline set.
    EDownloadResult ReadAnswer(HINTERNET request, const std::wstring& part, const struct SResumeRecord& saved,
                               std::uint64_t have, bool resuming, const SDownloadLimits& limits,
                               class CTransferWatch& watch, SAnswer* answer);
    // The part file opened for the answer's bytes, its resume record written.
    EDownloadResult OpenPart(const std::wstring& part, const SAnswer& answer, Base::Utility::CFileHandle* file);
    // Waits until fresh bytes since start fit the rate limit; false on a stop.
    bool Pace(ULONGLONG start, std::uint64_t fresh);
    // Starts the digests of an attempt: over the first have bytes of part when it continues one.
    bool StartDigests(const std::wstring& part, std::uint64_t have);

    bool m_digests = false;
    SProxy m_proxy;
    SProxy m_watchProxy;  // the proxy the session's connections go to (EXPLICIT), as far as it can be told
    std::unique_ptr<CMd5> m_md5;
    std::unique_ptr<CBlake2bStream> m_blake;
    std::wstring m_digestPath;  // where the last download with digests went
    std::string m_md5Hex;
    unsigned char m_blake2b[kMinisignDigestBytes] = {};

    Base::Utility::CInternetHandle m_hSession;
    // Read by other threads while a transfer runs.
    std::atomic<std::uint32_t> m_received{0};
    std::atomic<std::uint32_t> m_total{0};
    DownloadProgressFunc m_progress = nullptr;
    const std::atomic<bool>* m_cancel = nullptr;
    std::uint64_t m_unsizedCap = kDefaultUnsizedCap;
    DWORD m_stallMs = kDefaultStallMs;
    std::uint32_t m_stallBytes = kDefaultStallBytes;
    std::uint32_t m_rate = 0;
    class CDiskBudget* m_diskBudget = nullptr;
    std::uint32_t m_minRate = kDefaultMinRate;
    std::atomic<DWORD> m_status{0};
    std::atomic<DWORD> m_lastError{0};
    std::atomic<std::uint64_t> m_announced{0};
    // Bytes per second in the last whole second of this download's
    // transfers; an attempt that resumes starts at the link's pace.
    std::uint64_t m_lastRate = 0;
};
