#include "INetDownLoad.h"

#include <memory>
#include <new>
#include <string>

#include "Directories.h"
#include "base/system/ZDateTime.h"
#include "base/utility/PathText.h"

using Base::Utility::CFileHandle;
using Base::Utility::CInternetHandle;

namespace {

const int kRepeat = -1;
// Kept free beyond a download of stated size.
const std::uint64_t kFreeSpaceMargin = 1u << 20;

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

// The partial body: removed unless it was moved into place.
struct SPartFile {
    std::wstring path;
    ~SPartFile() { DeleteFileForced(path); }
};

}  // namespace

int CINetDownLoad::Init()
{
    if (!m_hSession)
        m_hSession.Reset(InternetOpenA("KORVALEN Downloader", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
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
    const int result = DownloadFile(url, localPath, SDownloadLimits(), &length);
    if (result == DOWNLOAD_OK && receivedSize != nullptr)
        *receivedSize = length > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(length);
    return result;
}

int CINetDownLoad::DownloadFile(const wchar_t* url, const wchar_t* localPath, const SDownloadLimits& limits,
                                std::uint64_t* receivedSize)
{
    if (!m_hSession || url == nullptr || localPath == nullptr) return DOWNLOAD_REQUEST_FAILED;
    const std::wstring target = Base::Utility::WithBackslashes(std::wstring(localPath));
    const std::wstring parent = GetParentDir(target);
    if (!parent.empty()) {
        MakeDirectories(parent);
        if (!DirectoryExists(parent)) return DOWNLOAD_NO_DIRECTORY;
    }
    std::wstring tempDir = limits.tempDir.empty() ? (parent.empty() ? std::wstring() : parent + L"\\") : limits.tempDir;
    if (!tempDir.empty()) MakeDirectories(tempDir);
    const size_t slash = target.rfind(L'\\');
    SPartFile part = {tempDir + target.substr(slash == std::wstring::npos ? 0 : slash + 1) + L".part"};

    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kReadBuffer]);
    if (!buffer) return DOWNLOAD_REQUEST_FAILED;
    const std::wstring request = Base::Utility::WithSlashes(Base::Utility::AsciiLower(std::wstring(url)));

    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        if (m_cancel && *m_cancel) return DOWNLOAD_STOPPED;
        std::uint64_t length = 0;
        const int result = Attempt(request, part.path, limits, buffer.get(), &length);
        if (result == kRepeat) continue;
        if (result != DOWNLOAD_OK) return result;
        // Only a whole body replaces the target.
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExW(part.path.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
            return IsDiskFullError(GetLastError()) ? DOWNLOAD_DISK_FULL : DOWNLOAD_NO_FILE;
        if (receivedSize != nullptr) *receivedSize = length;
        return DOWNLOAD_OK;
    }
    return DOWNLOAD_REQUEST_FAILED;
}

int CINetDownLoad::Attempt(const std::wstring& url, const std::wstring& part, const SDownloadLimits& limits,
                           unsigned char* buffer, std::uint64_t* length)
{
    m_received = 0;
    m_total = 0;

    DWORD timeout = 5000;
    InternetSetOptionW(m_hSession.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);

    // Connection and request are opened one by one (not by InternetOpenUrl)
    // so that the receive time-out is the request's before it is sent: a
    // server that sends nothing ends a read after one stall window.
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
        return DOWNLOAD_REQUEST_FAILED;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    object.append(parts.lpszExtraInfo ? parts.lpszExtraInfo : L"", parts.dwExtraInfoLength);
    if (object.empty()) object = L"/";
    CInternetHandle connection(
        InternetConnectW(m_hSession.Get(), host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return DOWNLOAD_REQUEST_FAILED;
    CInternetHandle request(HttpOpenRequestW(connection.Get(), L"GET", object.c_str(), nullptr, nullptr, nullptr,
                                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                                 (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0),
                                             0));
    if (!request) return DOWNLOAD_REQUEST_FAILED;
    DWORD receive = m_stallMs;
    InternetSetOptionW(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    if (!HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0))
        return GetLastError() == ERROR_INTERNET_TIMEOUT ? DOWNLOAD_STALLED : DOWNLOAD_REQUEST_FAILED;

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr) ||
        (status != 200 && status != 206))
        return DOWNLOAD_REQUEST_FAILED;

    std::uint64_t announced = 0;
    const bool hasLength = QueryContentLength(request.Get(), &announced);
    if (hasLength && (announced > limits.maxSize || (limits.statedSize != 0 && announced > limits.statedSize)))
        return DOWNLOAD_TOO_LARGE;
    if (hasLength && limits.statedSize != 0 && announced < limits.statedSize) return kRepeat;
    // Never written past: the stated size, else the announced one, else the cap.
    std::uint64_t limit = limits.statedSize != 0 ? limits.statedSize : hasLength ? announced : m_unsizedCap;
    if (limit > limits.maxSize) limit = limits.maxSize;
    m_total = static_cast<std::uint32_t>(hasLength ? announced : limits.statedSize);
    if (limits.statedSize != 0 || hasLength) {
        std::uint64_t free = 0;
        if (FreeDiskBytes(GetParentDir(part), &free) && free < limit + kFreeSpaceMargin) return DOWNLOAD_DISK_FULL;
    }

    SetFileAttributesW(part.c_str(), FILE_ATTRIBUTE_NORMAL);
    CFileHandle file(CreateFileW(part.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return DOWNLOAD_NO_FILE;

    const bool measure = m_progress != nullptr;
    std::uint32_t mark = measure ? Base::System::ZDateTime(true).Time() : 0;
    std::uint32_t counter = 0;
    std::uint32_t speed = 0;
    std::uint64_t received = 0;
    bool readFailed = false;
    DWORD windowStart = GetTickCount();
    DWORD lastByte = windowStart;
    std::uint64_t windowBytes = 0;
    // A read that ends without bytes after a whole window of silence timed
    // out, whatever WinINet calls it.
    auto silent = [&] {
        return GetLastError() == ERROR_INTERNET_TIMEOUT || GetTickCount() - lastByte >= m_stallMs * 9 / 10;
    };
    for (;;) {
        // Only what has arrived is read: a read never waits for a full buffer,
        // so progress, the stall rule and a stop are seen as bytes come.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request.Get(), &available, 0, 0)) {
            if (silent()) return DOWNLOAD_STALLED;
            readFailed = true;
            break;
        }
        DWORD n = 0;
        if (available > 0) {
            const DWORD want = available < kReadBuffer ? available : kReadBuffer;
            if (!InternetReadFile(request.Get(), buffer, want, &n)) {
                if (silent()) return DOWNLOAD_STALLED;
                readFailed = true;
                break;
            }
        } else if ((!hasLength || received < announced) && GetTickCount() - lastByte >= m_stallMs * 9 / 10) {
            return DOWNLOAD_STALLED;
        }
        if (n > 0) lastByte = GetTickCount();
        if (n > limit - received) return DOWNLOAD_TOO_LARGE;
        received += n;
        m_received = static_cast<std::uint32_t>(received);
        if (n > 0 && !WriteAllBytes(file.Get(), buffer, n))
            return IsDiskFullError(GetLastError()) ? DOWNLOAD_DISK_FULL : DOWNLOAD_NO_FILE;
        if (measure) {
            counter += n;
            const std::uint32_t now = Base::System::ZDateTime(true).Time();
            if (now > mark) {
                speed = counter / (now - mark);
                mark = now;
                counter = 0;
            }
            m_progress(m_total, m_received, speed);
        }
        if (n == 0) break;
        if (m_cancel && *m_cancel) return DOWNLOAD_STOPPED;
        windowBytes += n;
        if (GetTickCount() - windowStart >= m_stallMs) {
            // A server that trickles a few bytes now and then holds no run for ever.
            if (windowBytes < m_stallBytes) return DOWNLOAD_STALLED;
            windowStart = GetTickCount();
            windowBytes = 0;
        }
    }

    LARGE_INTEGER fileSize = {};
    if (!GetFileSizeEx(file.Get(), &fileSize)) return DOWNLOAD_NO_FILE;
    if (!FlushFileBuffers(file.Get())) return IsDiskFullError(GetLastError()) ? DOWNLOAD_DISK_FULL : DOWNLOAD_NO_FILE;
    *length = static_cast<std::uint64_t>(fileSize.QuadPart);
    if (limits.statedSize != 0 && *length != limits.statedSize) return kRepeat;
    // Without a length header only a normal end of the body tells that it is whole.
    if (hasLength ? *length == announced : !readFailed) return DOWNLOAD_OK;
    return kRepeat;
}
