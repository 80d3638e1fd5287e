#include "INetDownLoad.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>
#include <cstring>

#include "Directories.h"
#include "ResumeRecord.h"
#include "TransferWatch.h"
#include "base/utility/PathText.h"

using Base::Utility::CFileHandle;
using Base::Utility::CInternetHandle;

namespace {

// The speed shown with the progress, in bytes a second: measured in
// milliseconds, with a first figure after a quarter of a second (whole seconds
// of the clock showed no speed for most of the first second and then a part
// second's bytes as a whole second's).
class CSpeedMeter {
public:
    std::uint32_t Add(std::uint64_t bytes)
    {
        m_counter += bytes;
        const DWORD elapsed = GetTickCount() - m_mark;
        if (elapsed >= 1000 || (m_speed == 0 && elapsed >= 250)) {
            m_speed = static_cast<std::uint32_t>(m_counter * 1000 / elapsed);
            if (elapsed >= 1000) {
                m_mark += elapsed;
                m_counter = 0;
            }
        }
        return m_speed;
    }

private:
    DWORD m_mark = GetTickCount();
    std::uint64_t m_counter = 0;
    std::uint32_t m_speed = 0;
};

// Kept free beyond a download of stated size.
const std::uint64_t kFreeSpaceMargin = 1u << 20;
const DWORD kMaxRecordBytes = 4096;

// Content-Length as a 64-bit number; false when the header is missing.
bool QueryContentLength(HINTERNET hRequest, std::uint64_t* length)
{
    wchar_t text[32];
    DWORD size = sizeof text;
    DWORD index = 0;
    if (!HttpQueryInfoW(hRequest, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index)) return false;
    std::uint64_t value = 0;
    bool any = false;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p == L' ') continue;
        if (*p < L'0' || *p > L'9' || value > (~0ull - 9) / 10) return false;
        value = value * 10 + static_cast<unsigned>(*p - L'0');
        any = true;
    }
    *length = value;
    return any;
}

// A response header as bytes; "" when missing or longer than a validator may be.
std::string QueryHeader(HINTERNET hRequest, DWORD query)
{
    char text[600];
    DWORD size = sizeof text - 1;
    DWORD index = 0;
    if (!HttpQueryInfoA(hRequest, query, text, &size, &index)) return "";
    return std::string(text, size);
}

bool ReadRecord(const std::wstring& path, SResumeRecord* record)
{
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char text[kMaxRecordBytes];
    DWORD n = 0;
    if (!ReadFile(file.Get(), text, sizeof text, &n, nullptr) || n == sizeof text) return false;
    return ReadResumeRecord(std::string(text, n), record);
}

bool WriteRecord(const std::wstring& path, const SResumeRecord& record)
{
    const std::string text = ResumeRecordText(record);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && WriteAllBytes(file.Get(), text.data(), static_cast<DWORD>(text.size())) &&
           FlushFileBuffers(file.Get());
}

std::uint64_t FileSizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// What an earlier transfer left that a range request may continue: its
// record and the bytes before the whole length.
bool LoadPartial(const std::wstring& part, SResumeRecord* record, std::uint64_t* have)
{
    if (!ReadRecord(CINetDownLoad::RecordPath(part), record)) return false;
    *have = FileSizeOf(part);
    return *have > 0 && *have < record->length;
}

// The partial body and its record: removed unless it was moved into place or
// a later attempt may continue it.
struct SPartFile {
    std::wstring path;
    bool keep = false;
    ~SPartFile()
    {
        if (!keep) Discard();
    }
    void Discard() const
    {
        DeleteFileForced(path);
        DeleteFileForced(CINetDownLoad::RecordPath(path));
    }
};

}  // namespace

std::wstring CINetDownLoad::PartPath(const std::wstring& localPath, const SDownloadLimits& limits)
{
    const std::wstring target = Base::Utility::WithBackslashes(localPath);
    const std::wstring parent = GetParentDir(target);
    const std::wstring tempDir =
        limits.tempDir.empty() ? (parent.empty() ? std::wstring() : parent + L"\\") : limits.tempDir;
    const size_t slash = target.rfind(L'\\');
    return tempDir + target.substr(slash == std::wstring::npos ? 0 : slash + 1) + L".part";
}

std::wstring CINetDownLoad::RecordPath(const std::wstring& partPath)
{
    return partPath.substr(0, partPath.size() - 5) + L".resume";
}

void CINetDownLoad::DiscardPartial(const std::wstring& localPath, const SDownloadLimits& limits)
{
    SPartFile{PartPath(localPath, limits)}.Discard();
}

int CINetDownLoad::Init()
{
    if (m_hSession) return TRUE;
    m_watchProxy = m_proxy;
    if (m_proxy.mode == SProxy::EXPLICIT) {
        // Every scheme, loopback too, goes through the proxy named.
        const std::wstring server = m_proxy.host + L":" + std::to_wstring(m_proxy.port);
        m_hSession.Reset(InternetOpenW(L"KORVALEN Downloader", INTERNET_OPEN_TYPE_PROXY, server.c_str(), L"<-loopback>", 0));
    } else {
        m_hSession.Reset(InternetOpenW(L"KORVALEN Downloader",
                                       m_proxy.mode == SProxy::SYSTEM ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_DIRECT,
                                       nullptr, nullptr, 0));
        // The system's proxy, where it names one, is the peer the watch must break.
        if (m_hSession && m_proxy.mode == SProxy::SYSTEM) m_watchProxy = SystemProxy(m_hSession.Get());
    }
    return m_hSession.Valid();
}

int CINetDownLoad::Close()
{
    m_hSession.Reset();
    return TRUE;
}

int CINetDownLoad::Download(const wchar_t* url, const wchar_t* localPath, std::uint32_t* receivedSize,
                            std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t)
{
    std::uint64_t length = 0;
    const EDownloadResult result = DownloadFile(url, localPath, SDownloadLimits(), &length);
    if (result == DOWNLOAD_OK && receivedSize != nullptr)
        *receivedSize = length > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(length);
    return result;
}

EDownloadResult CINetDownLoad::DownloadFile(const wchar_t* url, const wchar_t* localPath, const SDownloadLimits& limits,
                                std::uint64_t* receivedSize)
{
    m_status = 0;
    m_lastError = 0;
    m_lastRate = 0;
    m_digestPath.clear();
    if (!m_hSession || url == nullptr || localPath == nullptr) return DOWNLOAD_REQUEST_FAILED;
    const std::wstring target = Base::Utility::WithBackslashes(std::wstring(localPath));
    const std::wstring parent = GetParentDir(target);
    if (!parent.empty()) {
        MakeDirectories(parent);
        if (!DirectoryExists(parent)) return DOWNLOAD_NO_DIRECTORY;
    }
    SPartFile part = {PartPath(target, limits)};
    const std::wstring tempDir = GetParentDir(part.path);
    if (!tempDir.empty()) MakeDirectories(tempDir);

    // A file of stated size that cannot fit is not asked for.
    std::uint64_t free = 0;
    const std::uint64_t partial = FileSizeOf(part.path);
    if (limits.statedSize != 0 && FreeDiskBytes(tempDir.empty() ? GetParentDir(target) : tempDir, &free, m_diskBudget) &&
        free + (partial < limits.statedSize ? partial : limits.statedSize) < limits.statedSize + kFreeSpaceMargin) {
        part.keep = true;
        return DOWNLOAD_DISK_FULL;
    }

    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kReadBuffer]);
    if (!buffer) return DOWNLOAD_REQUEST_FAILED;
    const std::wstring request = Base::Utility::WithSlashes(Base::Utility::AsciiLower(std::wstring(url)));

    EDownloadResult result = DOWNLOAD_REQUEST_FAILED;
    SResumeRecord record;
    std::uint64_t have = 0;
    // Attempts that add to a partial body do not use up the bound of those
    // that get nowhere, up to a bound of their own.
    for (int attempt = 0, idle = 0; idle < kMaxAttempts && attempt < kMaxResumes; ++attempt) {
        if (m_cancel && *m_cancel) {
            result = DOWNLOAD_STOPPED;
            break;
        }
        std::uint64_t length = 0;
        const std::uint64_t before = LoadPartial(part.path, &record, &have) ? have : 0;
        result = Attempt(request, part.path, limits, buffer.get(), &length);
        if (result == DOWNLOAD_AGAIN) {
            result = DOWNLOAD_REQUEST_FAILED;
            if (!LoadPartial(part.path, &record, &have) || have <= before) ++idle;
            continue;
        }
        if (result != DOWNLOAD_OK) break;
        // Only a whole body replaces the target.
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExW(part.path.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
            return IsDiskFullError(GetLastError()) ? DOWNLOAD_DISK_FULL : DOWNLOAD_NO_FILE;
        if (m_digests && m_md5 && m_blake) {
            unsigned char md5[16];
            m_md5->Final(md5);
            m_blake->Final(m_blake2b);
            m_md5Hex = Md5Hex(md5);
            m_digestPath = target;
        }
        DeleteFileForced(RecordPath(part.path));
        if (receivedSize != nullptr) *receivedSize = length;
        return DOWNLOAD_OK;
    }
    // A server that sent more than it may has no bytes worth keeping.
    part.keep = result != DOWNLOAD_TOO_LARGE && LoadPartial(part.path, &record, &have);
    return result;
}

namespace {

// A body left unread past this is not handed to WinINet, which would read it
// to its end on close: the connection is shut down instead.
const std::uint64_t kMaxDrainBytes = 64 * 1024;

struct SHttpTarget {
    std::wstring host;
    std::wstring object;
    INTERNET_PORT port = 0;
    bool secure = false;
};

bool CrackHttpUrl(const std::wstring& url, SHttpTarget* out)
{
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
        return false;
    out->host.assign(parts.lpszHostName, parts.dwHostNameLength);
    out->object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    out->object.append(parts.lpszExtraInfo ? parts.lpszExtraInfo : L"", parts.dwExtraInfoLength);
    if (out->object.empty()) out->object = L"/";
    out->port = parts.nPort;
    out->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return true;
}

EDownloadResult BreachCode(ETransferBreach breach)
{
    return breach == BREACH_DEADLINE ? DOWNLOAD_TOO_SLOW : DOWNLOAD_STALLED;
}

// What one response leaves for the connection when the attempt returns.
struct SUnreadBody {
    CTransferWatch& watch;
    std::uint64_t left = ~0ull;  // unknown until the headers tell
    ~SUnreadBody()
    {
        if (left > kMaxDrainBytes && watch.Breach() == BREACH_NONE) watch.Break();
    }
};

}  // namespace

EDownloadResult CINetDownLoad::SendRequest(const SRequestTarget& target, HINTERNET* connection, HINTERNET* request)
{
    *connection = InternetConnectW(m_hSession.Get(), target.host.c_str(), target.port, nullptr, nullptr,
                                   INTERNET_SERVICE_HTTP, 0, 0);
    if (!*connection) {
        m_lastError = GetLastError();
        return DOWNLOAD_REQUEST_FAILED;
    }
    *request = HttpOpenRequestW(*connection, L"GET", target.object.c_str(), nullptr, nullptr, nullptr,
                                INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                    (target.secure ? INTERNET_FLAG_SECURE : 0),
                                0);
    if (!*request) {
        m_lastError = GetLastError();
        return DOWNLOAD_REQUEST_FAILED;
    }
    if (m_proxy.mode == SProxy::EXPLICIT && !m_proxy.user.empty()) {
        // Answered to the proxy's 407 by WinINet itself.
        InternetSetOptionW(*request, INTERNET_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(m_proxy.user.c_str()),
                           static_cast<DWORD>(m_proxy.user.size() + 1));
        InternetSetOptionW(*request, INTERNET_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(m_proxy.password.c_str()),
                           static_cast<DWORD>(m_proxy.password.size() + 1));
    }
    // The watch ends a silence first; this only keeps a read from waiting for ever.
    DWORD receive = m_stallMs + 2000;
    InternetSetOptionW(*request, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    if (!HttpSendRequestW(*request, target.headers.empty() ? nullptr : target.headers.c_str(),
                          static_cast<DWORD>(target.headers.size()), nullptr, 0)) {
        m_lastError = GetLastError();
        return m_lastError == ERROR_INTERNET_TIMEOUT ? DOWNLOAD_STALLED : DOWNLOAD_REQUEST_FAILED;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(*request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        m_lastError = GetLastError();
        return DOWNLOAD_REQUEST_FAILED;
    }
    // An answer that is no HTTP response at all (a proxy or server speaking
    // garbage) is read by WinINet as "HTTP/1.0 200 OK" without a header and
    // the garbage as its body: refused.
    wchar_t head[256] = {};
    size = sizeof head - sizeof(wchar_t);
    const bool read = HttpQueryInfoW(*request, HTTP_QUERY_RAW_HEADERS_CRLF, head, &size, nullptr) != FALSE;
    const wchar_t* firstEnd = read ? wcsstr(head, L"\r\n") : nullptr;
    if ((read || GetLastError() != ERROR_INSUFFICIENT_BUFFER) && (firstEnd == nullptr || firstEnd[2] == L'\r' || firstEnd[2] == 0)) {
        m_lastError = ERROR_HTTP_INVALID_SERVER_RESPONSE;
        return DOWNLOAD_REQUEST_FAILED;
    }
    m_status = status;
    return DOWNLOAD_OK;
}

ULONGLONG CINetDownLoad::DeadlineMs(std::uint64_t bytes) const
{
    std::uint64_t rate = m_minRate;
    if (m_rate != 0 && m_rate / 2 < rate) rate = m_rate / 2;
    if (rate == 0) return 0;
    // The headers and a slack of one stall window each, then the bytes at the minimum rate.
    return 2ull * m_stallMs + bytes / rate * 1000 + (bytes % rate) * 1000 / rate;
}

EDownloadResult CINetDownLoad::ReadAnswer(HINTERNET request, const std::wstring& part, const SResumeRecord& saved,
                                          std::uint64_t have, bool resuming, const SDownloadLimits& limits,
                                          CTransferWatch& watch, SAnswer* answer)
{
    const DWORD status = m_status;
    std::uint64_t announced = 0;
    const bool hasLength = QueryContentLength(request, &announced);
    if (resuming && status == 416) {
        SPartFile{part}.Discard();
        return DOWNLOAD_AGAIN;
    }
    if (status != 200 && status != 206) return DOWNLOAD_REQUEST_FAILED;

    const std::string etag = QueryHeader(request, HTTP_QUERY_ETAG);
    const std::string lastModified = QueryHeader(request, HTTP_QUERY_LAST_MODIFIED);
    // The whole file's length: a continued body is the rest of the recorded one.
    std::uint64_t whole = announced;
    bool hasWhole = hasLength;
    const bool append = resuming && status == 206;
    if (append) {
        SContentRange range;
        const bool fits = ParseContentRange(QueryHeader(request, HTTP_QUERY_CONTENT_RANGE), &range) &&
                          range.first == have && range.total == saved.length && range.last + 1 == saved.length &&
                          (!hasLength || announced == saved.length - have) &&
                          (etag.empty() || saved.etag.empty() || etag == saved.etag);
        if (!fits) {
            // Not the rest of the bytes we hold: they start again from zero.
            SPartFile{part}.Discard();
            return DOWNLOAD_AGAIN;
        }
        whole = saved.length;
        hasWhole = true;
    } else {
        have = 0;
    }
    if (hasWhole) m_announced = whole;
    // Another length than the table's: not the file the table describes.
    if (hasWhole && limits.statedSize != 0 && whole != limits.statedSize) {
        watch.Break();
        return DOWNLOAD_SIZE_MISMATCH;
    }
    if (hasWhole && whole > limits.maxSize) {
        watch.Break();
        return DOWNLOAD_TOO_LARGE;
    }
    // Never written past: the stated size, else the announced one, else the cap.
    std::uint64_t limit = limits.statedSize != 0 ? limits.statedSize : hasWhole ? whole : m_unsizedCap;
    if (limit > limits.maxSize) limit = limits.maxSize;
    watch.SetDeadline(DeadlineMs(limit - have));
    m_total = static_cast<std::uint32_t>(hasWhole ? whole : limits.statedSize);
    if (limits.statedSize != 0 || hasWhole) {
        std::uint64_t free = 0;
        if (FreeDiskBytes(GetParentDir(part), &free, m_diskBudget) && free < limit - have + kFreeSpaceMargin)
            return DOWNLOAD_DISK_FULL;
    }

    answer->whole = whole;
    answer->hasWhole = hasWhole;
    answer->append = append;
    answer->have = have;
    answer->limit = limit;
    answer->etag = etag;
    answer->lastModified = lastModified;
    return DOWNLOAD_OK;
}

EDownloadResult CINetDownLoad::OpenPart(const std::wstring& part, const SAnswer& answer, CFileHandle* file)
{
    const bool append = answer.append, hasWhole = answer.hasWhole;
    const std::uint64_t have = answer.have, whole = answer.whole;
    const std::string& etag = answer.etag;
    const std::string& lastModified = answer.lastModified;
    SetFileAttributesW(part.c_str(), FILE_ATTRIBUTE_NORMAL);
    file->Reset(CreateFileW(part.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            append ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!*file) return DOWNLOAD_NO_FILE;
    LARGE_INTEGER end = {};
    end.QuadPart = static_cast<LONGLONG>(have);
    if (append && !SetFilePointerEx(file->Get(), end, nullptr, FILE_BEGIN)) return DOWNLOAD_NO_FILE;
    if (m_digests && !StartDigests(part, append ? have : 0)) return DOWNLOAD_NO_FILE;
    if (!append) {
        // Recorded before the first byte, so that even a killed process leaves
        // a body that can be continued.
        const SResumeRecord record = ResumeRecordOf(etag, lastModified, hasWhole ? whole : 0);
        if (record.Validator().empty() || !WriteRecord(RecordPath(part), record)) DeleteFileForced(RecordPath(part));
    }
    return DOWNLOAD_OK;
}

EDownloadResult CINetDownLoad::Attempt(const std::wstring& url, const std::wstring& part, const SDownloadLimits& limits,
                           unsigned char* buffer, std::uint64_t* length)
{
    m_received = 0;
    m_total = 0;
    m_status = 0;
    m_announced = 0;
    SResumeRecord saved;
    std::uint64_t have = 0;
    const bool resuming = LoadPartial(part, &saved, &have);
    if (!resuming) DeleteFileForced(RecordPath(part));

    DWORD timeout = 5000;
    InternetSetOptionW(m_hSession.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    SHttpTarget http;
    if (!CrackHttpUrl(url, &http)) return DOWNLOAD_REQUEST_FAILED;
    // The rest, only while the server's file is still the one begun; no
    // Accept-Encoding, so that the bytes are the file's own.
    const std::string validator = saved.Validator();
    const SRequestTarget target = {http.host, http.object, http.port, http.secure,
                                   resuming ? L"Range: bytes=" + std::to_wstring(have) + L"-\r\nIf-Range: " +
                                                  std::wstring(validator.begin(), validator.end()) + L"\r\n"
                                            : L""};
    // Bounds the connection, the request and the headers from here on.
    // The connection's peer is the proxy when there is one.
    const bool viaProxy = m_watchProxy.mode == SProxy::EXPLICIT;
    CTransferWatch watch(viaProxy ? m_watchProxy.host : http.host, viaProxy ? m_watchProxy.port : http.port, m_stallMs,
                         m_stallBytes);
    HINTERNET rawConnection = nullptr, rawRequest = nullptr;
    const EDownloadResult sent = SendRequest(target, &rawConnection, &rawRequest);
    CInternetHandle connection(rawConnection), request(rawRequest);
    // Destroyed before the request handle closes.
    SUnreadBody unread = {watch};
    if (watch.Breach() != BREACH_NONE) return BreachCode(watch.Breach());
    if (sent != DOWNLOAD_OK) return sent;
    std::uint64_t announced = 0;
    if (QueryContentLength(request.Get(), &announced)) unread.left = announced;
    SAnswer answer;
    const EDownloadResult accepted = ReadAnswer(request.Get(), part, saved, have, resuming, limits, watch, &answer);
    if (accepted != DOWNLOAD_OK) return accepted;
    CFileHandle file;
    const EDownloadResult opened = OpenPart(part, answer, &file);
    if (opened != DOWNLOAD_OK) return opened;

    const bool hasWhole = answer.hasWhole;
    const std::uint64_t whole = answer.whole;
    SBody body = {request.Get(), file.Get(), buffer, answer.have, answer.limit, hasWhole ? whole : 0, hasWhole,
                  limits.statedSize != 0 && answer.limit == limits.statedSize};
    const EDownloadResult received = ReceiveBody(body, watch);
    if (watch.Breach() != BREACH_NONE && watch.Breach() != BREACH_CALLER) return BreachCode(watch.Breach());
    if (received != DOWNLOAD_OK) return received;
    unread.left = 0;

    LARGE_INTEGER fileSize = {};
    if (!GetFileSizeEx(file.Get(), &fileSize)) return DOWNLOAD_NO_FILE;
    *length = static_cast<std::uint64_t>(fileSize.QuadPart);
    // A body that ended cleanly at another length is not the stated file;
    // one that broke off resumes.
    if (limits.statedSize != 0 && *length != limits.statedSize)
        return hasWhole || body.readFailed ? DOWNLOAD_AGAIN : DOWNLOAD_SIZE_MISMATCH;
    // Without a length header only a normal end of the body tells that it is whole.
    if (hasWhole ? *length != whole : body.readFailed) return DOWNLOAD_AGAIN;
    // Only a whole body is forced to the disk: a partial one that a power cut
    // spoils fails its digest and is fetched again.
    if (!FlushFileBuffers(file.Get())) return IsDiskFullError(GetLastError()) ? DOWNLOAD_DISK_FULL : DOWNLOAD_NO_FILE;
    return DOWNLOAD_OK;
}

EDownloadResult CINetDownLoad::FetchRange(const wchar_t* url, std::uint64_t first, std::uint64_t last, std::string* body,
                              std::atomic<std::uint64_t>* received)
{
    m_status = 0;
    m_lastError = 0;
    body->clear();
    SHttpTarget http;
    if (!m_hSession || last < first || !CrackHttpUrl(Base::Utility::WithSlashes(std::wstring(url)), &http))
        return DOWNLOAD_REQUEST_FAILED;
    const std::uint64_t want = last - first + 1;
    DWORD timeout = 5000;
    InternetSetOptionW(m_hSession.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    const SRequestTarget target = {http.host, http.object, http.port, http.secure,
                                   L"Range: bytes=" + std::to_wstring(first) + L"-" + std::to_wstring(last) + L"\r\n"};
    // The connection's peer is the proxy when there is one.
    const bool viaProxy = m_watchProxy.mode == SProxy::EXPLICIT;
    CTransferWatch watch(viaProxy ? m_watchProxy.host : http.host, viaProxy ? m_watchProxy.port : http.port, m_stallMs,
                         m_stallBytes);
    watch.SetDeadline(DeadlineMs(want));
    HINTERNET rawConnection = nullptr, rawRequest = nullptr;
    const EDownloadResult sent = SendRequest(target, &rawConnection, &rawRequest);
    CInternetHandle connection(rawConnection), request(rawRequest);
    SUnreadBody unread = {watch};
    if (watch.Breach() != BREACH_NONE) return BreachCode(watch.Breach());
    if (sent != DOWNLOAD_OK) return sent;
    std::uint64_t announced = 0;
    const bool hasLength = QueryContentLength(request.Get(), &announced);
    if (hasLength) unread.left = announced;
    SContentRange range;
    // Exactly the bytes asked for, or the whole file when it is just those.
    const bool partial = m_status == 206 &&
                         ParseContentRange(QueryHeader(request.Get(), HTTP_QUERY_CONTENT_RANGE), &range) &&
                         range.first == first && range.last == last;
    const bool whole = m_status == 200 && first == 0 && hasLength && announced == want;
    if (!partial && !whole) {
        if (m_status == 206 || m_status == 200 || m_status == 416) {
            watch.Break();
            return DOWNLOAD_SIZE_MISMATCH;
        }
        return DOWNLOAD_REQUEST_FAILED;
    }
    if (hasLength && announced != want) {
        watch.Break();
        return DOWNLOAD_SIZE_MISMATCH;
    }
    m_announced = want;
    body->resize(static_cast<std::size_t>(want));
    std::uint64_t have = 0;
    const ULONGLONG paceStart = GetTickCount64();
    watch.Progress(0);
    while (have < want) {
        DWORD n = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::uint64_t>(want - have, m_rate ? std::max<std::uint32_t>(m_rate / 8, 1024) : 256 * 1024));
        if (!InternetReadFile(request.Get(), &(*body)[static_cast<std::size_t>(have)], ask, &n)) {
            m_lastError = GetLastError();
            break;
        }
        if (n == 0) break;
        have += n;
        watch.Progress(have);
        if (received) *received += n;
        if (m_cancel && *m_cancel) return DOWNLOAD_STOPPED;
        if (m_rate != 0) {
            if (!Pace(paceStart, have)) return DOWNLOAD_STOPPED;
            watch.Rested();
        }
    }
    if (watch.Breach() != BREACH_NONE && watch.Breach() != BREACH_CALLER) return BreachCode(watch.Breach());
    if (have != want) {
        body->resize(static_cast<std::size_t>(have));
        return DOWNLOAD_SIZE_MISMATCH;
    }
    unread.left = 0;
    return DOWNLOAD_OK;
}

EDownloadResult CINetDownLoad::ReceiveBody(SBody& body, CTransferWatch& watch)
{
    CSpeedMeter meter;
    std::uint64_t received = body.have;
    std::uint64_t fresh = 0;
    m_received = static_cast<std::uint32_t>(received);
    watch.Progress(received);
    const ULONGLONG paceStart = GetTickCount64();
    DWORD rateMark = GetTickCount();
    std::uint64_t rateBytes = 0;
    // Small reads under a limit keep the pace even.
    const DWORD maxRead = m_rate == 0 ? kReadBuffer : m_rate / 8 < 1024 ? 1024 : m_rate / 8 < kReadBuffer ? m_rate / 8 : kReadBuffer;
    for (;;) {
        // Only what has arrived is read: a read never waits for a full buffer,
        // so progress and a stop are seen as bytes come. A server that goes
        // silent is the watch's: it shuts the connection and the call returns.
        // On a fast link a tenth of a second's bytes are asked for at once:
        // asking first what arrived costs a receive of its own under Wine.
        const bool fast = m_rate == 0 && m_lastRate >= kFastRate;
        DWORD available = 0;
        if (!fast && !InternetQueryDataAvailable(body.request, &available, 0, 0)) {
            m_lastError = GetLastError();
            body.readFailed = true;
            break;
        }
        DWORD n = 0;
        if (fast || available > 0) {
            // What arrived, or a tenth of a second at the recent rate: large
            // reads on fast links (a read of what arrived alone is slow under
            // Wine), prompt ones on slow links, which a read that waits for
            // its whole buffer would hold up. The rate is taken every tenth of
            // a second: a fast download is over in a few seconds.
            std::uint64_t want = available > m_lastRate / 10 ? available : m_lastRate / 10;
            if (want > maxRead) want = maxRead;
            if (!InternetReadFile(body.request, body.buffer, static_cast<DWORD>(want), &n)) {
                m_lastError = GetLastError();
                body.readFailed = true;
                break;
            }
        }
        rateBytes += n;
        if (GetTickCount() - rateMark >= 100) {
            m_lastRate = rateBytes * 1000 / (GetTickCount() - rateMark);
            rateMark = GetTickCount();
            rateBytes = 0;
        }
        if (n > body.limit - received) {
            watch.Break();
            return body.stated ? DOWNLOAD_SIZE_MISMATCH : DOWNLOAD_TOO_LARGE;
        }
        received += n;
        m_received = static_cast<std::uint32_t>(received);
        watch.Progress(received);
        if (n > 0 && !WriteAllBytes(body.file, body.buffer, n, m_diskBudget))
            return IsDiskFullError(GetLastError()) ? DOWNLOAD_DISK_FULL : DOWNLOAD_NO_FILE;
        if (n > 0 && m_md5) {
            m_md5->Update(body.buffer, n);
            m_blake->Update(body.buffer, n);
        }
        if (m_progress) m_progress(m_total, m_received, meter.Add(n));
        if (n == 0) break;
        if (m_cancel && *m_cancel) return DOWNLOAD_STOPPED;
        fresh += n;
        if (m_rate != 0) {
            if (!Pace(paceStart, fresh)) return DOWNLOAD_STOPPED;
            watch.Rested();
        }
    }
    return DOWNLOAD_OK;
}

bool CINetDownLoad::StartDigests(const std::wstring& part, std::uint64_t have)
{
    m_md5.reset(new CMd5());
    m_blake.reset(new CBlake2bStream());
    if (have == 0) return true;
    // What an earlier attempt kept is hashed once, before the rest arrives.
    CFileHandle file(CreateFileW(part.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    std::vector<unsigned char> block(1 << 20);
    for (std::uint64_t done = 0; done < have;) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(block.size(), have - done));
        if (!ReadFile(file.Get(), block.data(), want, &got, nullptr) || got != want) return false;
        m_md5->Update(block.data(), got);
        m_blake->Update(block.data(), got);
        done += got;
    }
    return true;
}

bool CINetDownLoad::DigestsOf(const std::wstring& localPath, std::string* md5Hex,
                              unsigned char blake2b[kMinisignDigestBytes]) const
{
    if (m_digestPath.empty() ||
        _wcsicmp(m_digestPath.c_str(), Base::Utility::WithBackslashes(localPath).c_str()) != 0)
        return false;
    if (md5Hex) *md5Hex = m_md5Hex;
    if (blake2b) std::memcpy(blake2b, m_blake2b, kMinisignDigestBytes);
    return true;
}

bool CINetDownLoad::Pace(ULONGLONG start, std::uint64_t fresh)
{
    const ULONGLONG due = start + fresh * 1000 / m_rate;
    for (ULONGLONG now = GetTickCount64(); now < due; now = GetTickCount64()) {
        if (m_cancel && *m_cancel) return false;
        Sleep(static_cast<DWORD>(due - now < 50 ? due - now : 50));
    }
    return true;
}
