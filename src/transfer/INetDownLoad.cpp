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
        if (*p < L'0' || *p > L'9') return false;
        value = value * 10 + static_cast<unsigned>(*p - L'0');
        any = true;
    }
    *length = value;
    return any;
}

bool WriteAll(HANDLE h, const unsigned char* data, DWORD size)
{
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(h, data, size, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

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
    if (!m_hSession || url == nullptr || localPath == nullptr) return DOWNLOAD_REQUEST_FAILED;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kReadBuffer]);
    if (!buffer) return DOWNLOAD_REQUEST_FAILED;

    const std::wstring request = Base::Utility::WithSlashes(Base::Utility::AsciiLower(std::wstring(url)));

    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        if (m_cancel && *m_cancel) return DOWNLOAD_STOPPED;
        std::uint64_t length = 0;
        const int result = Attempt(request, localPath, buffer.get(), &length);
        if (result == kRepeat) continue;
        if (result == DOWNLOAD_OK && receivedSize != nullptr)
            *receivedSize = length > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(length);
        return result;
    }
    return DOWNLOAD_REQUEST_FAILED;
}

int CINetDownLoad::Attempt(const std::wstring& url, const wchar_t* localPath, unsigned char* buffer,
                           std::uint64_t* length)
{
    m_received = 0;
    m_total = 0;

    DWORD timeout = 5000;
    InternetSetOptionW(m_hSession.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);

    const std::wstring parent = GetParentDir(localPath);
    if (!parent.empty()) {
        MakeDirectories(parent);
        if (!DirectoryExists(parent)) return DOWNLOAD_NO_DIRECTORY;
    }
    DeleteFileForced(localPath);

    CFileHandle file(CreateFileW(localPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return DOWNLOAD_NO_FILE;

    CInternetHandle request(InternetOpenUrlW(m_hSession.Get(), url.c_str(), nullptr, 0,
                                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request) return DOWNLOAD_REQUEST_FAILED;

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr) ||
        (status != 200 && status != 206))
        return DOWNLOAD_REQUEST_FAILED;

    std::uint64_t announced = 0;
    const bool hasLength = QueryContentLength(request.Get(), &announced);
    m_total = static_cast<std::uint32_t>(announced);

    const bool measure = m_progress != nullptr;
    std::uint32_t mark = measure ? Base::System::ZDateTime(true).Time() : 0;
    std::uint32_t counter = 0;
    std::uint32_t speed = 0;
    std::uint64_t received = 0;
    bool readFailed = false;
    for (;;) {
        INTERNET_BUFFERSW ib = {};
        ib.dwStructSize = sizeof ib;
        ib.lpvBuffer = buffer;
        ib.dwBufferLength = kReadBuffer;
        if (!InternetReadFileExW(request.Get(), &ib, 0, 0)) {
            readFailed = true;
            break;
        }
        const DWORD n = ib.dwBufferLength;
        received += n;
        m_received = static_cast<std::uint32_t>(received);
        if (n > 0 && !WriteAll(file.Get(), buffer, n)) return DOWNLOAD_NO_FILE;
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
    }

    LARGE_INTEGER fileSize = {};
    if (!GetFileSizeEx(file.Get(), &fileSize)) return DOWNLOAD_NO_FILE;
    *length = static_cast<std::uint64_t>(fileSize.QuadPart);
    // Without a length header only a normal end of the body tells that it is whole.
    if (hasLength ? *length == announced : !readFailed) return DOWNLOAD_OK;
    return kRepeat;
}
