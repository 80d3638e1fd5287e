#include "FailureCause.h"

#include "base/utility/SystemError.h"
#include "transfer/DownLoad.h"

const wchar_t* CauseTag(EFailureCause cause)
{
    switch (cause) {
    case CAUSE_NONE: return L"";
    case CAUSE_NO_CONNECTION: return L"CAUSE_NO_CONNECTION";
    case CAUSE_SERVER_ERROR: return L"CAUSE_SERVER_ERROR";
    case CAUSE_NOT_FOUND: return L"CAUSE_NOT_FOUND";
    case CAUSE_UNTRUSTED: return L"CAUSE_UNTRUSTED";
    case CAUSE_DISK_FULL: return L"CAUSE_DISK_FULL";
    case CAUSE_DAMAGED_DOWNLOAD: return L"CAUSE_DAMAGED_DOWNLOAD";
    case CAUSE_INCOMPLETE_INSTALLATION: return L"CAUSE_INCOMPLETE_INSTALLATION";
    case CAUSE_STALE: return L"CAUSE_STALE";
    case CAUSE_NO_MANIFEST: return L"CAUSE_NO_MANIFEST";
    case CAUSE_FILE_LOCKED: return L"CAUSE_FILE_LOCKED";
    case CAUSE_PROXY: return L"CAUSE_PROXY";
    case CAUSE_NOT_WRITABLE: return L"CAUSE_NOT_WRITABLE";
    }
    return L"";
}

std::wstring DownloadFailureText(EDownloadResult downloadResult, DWORD httpStatus, DWORD systemError)
{
    switch (downloadResult) {
    case DOWNLOAD_STALLED: return L"the transfer stalled";
    case DOWNLOAD_TOO_SLOW: return L"the transfer was slower than the minimum rate";
    case DOWNLOAD_TOO_LARGE: return L"it sends more than the stated size or the cap";
    case DOWNLOAD_SIZE_MISMATCH: return L"the server's file is not the size the revision table states";
    case DOWNLOAD_DISK_FULL: return L"the disk is full";
    case DOWNLOAD_STOPPED: return L"stopped";
    case DOWNLOAD_NO_DIRECTORY: return L"the folder of the file cannot be made";
    case DOWNLOAD_NO_FILE:
        return L"the file cannot be written" + (systemError ? L": " + SystemErrorText(systemError) : std::wstring());
    default: break;
    }
    if (httpStatus == 0)
        return L"no connection" + (systemError ? L": " + SystemErrorText(systemError) : std::wstring());
    if (httpStatus == 407) return L"the proxy asks for a sign-in (HTTP 407): its user or password is missing or wrong";
    if (httpStatus != 200 && httpStatus != 206) return L"HTTP status " + std::to_wstring(httpStatus);
    return L"the body never came whole" + (systemError ? L": " + SystemErrorText(systemError) : std::wstring());
}
