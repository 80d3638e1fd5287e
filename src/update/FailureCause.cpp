#include "FailureCause.h"

#include "UpdateEngine.h"
#include "base/utility/SystemError.h"
#include "transfer/DownLoad.h"
#include "transfer/PatchInstaller.h"

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

EFailureCause CauseOfDownload(int downloadResult, DWORD httpStatus)
{
    switch (downloadResult) {
    case DOWNLOAD_OK: return CAUSE_NONE;
    case DOWNLOAD_DISK_FULL: return CAUSE_DISK_FULL;
    case DOWNLOAD_TOO_LARGE:
    case DOWNLOAD_SIZE_MISMATCH: return CAUSE_DAMAGED_DOWNLOAD;
    case DOWNLOAD_STALLED:
    case DOWNLOAD_TOO_SLOW:
    case DOWNLOAD_STOPPED: return CAUSE_NO_CONNECTION;
    case DOWNLOAD_NO_DIRECTORY:
    case DOWNLOAD_NO_FILE: return CAUSE_INCOMPLETE_INSTALLATION;
    default: break;
    }
    if (httpStatus == 0) return CAUSE_NO_CONNECTION;
    if (httpStatus == 404 || httpStatus == 410) return CAUSE_NOT_FOUND;
    if (httpStatus == 407) return CAUSE_PROXY;
    if (httpStatus == 200 || httpStatus == 206) return CAUSE_NO_CONNECTION;  // the body broke off
    return CAUSE_SERVER_ERROR;
}

std::wstring DownloadFailureText(int downloadResult, DWORD httpStatus, DWORD systemError)
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

EFailureCause CUpdateEngine::FailureCause() const
{
    switch (Fault()) {
    case FAULT_REFUSED_NAME:
    case FAULT_BOUND_EXCEEDED:
    case FAULT_BAD_MANIFEST:
    case FAULT_BAD_CHUNK:
    case FAULT_BAD_DIGEST: return CAUSE_DAMAGED_DOWNLOAD;
    case FAULT_STALE: return CAUSE_STALE;
    case FAULT_NO_MANIFEST: return CAUSE_NO_MANIFEST;
    case FAULT_FILE_LOCKED: return CAUSE_FILE_LOCKED;
    case FAULT_NOT_WRITABLE: return CAUSE_NOT_WRITABLE;
    case FAULT_DAMAGED: return CAUSE_INCOMPLETE_INSTALLATION;
    case FAULT_DISK_FULL: return CAUSE_DISK_FULL;
    case FAULT_NEEDS_REPAIR: return CAUSE_INCOMPLETE_INSTALLATION;
    case FAULT_UNVERIFIED:
    case FAULT_BAD_KEYS: return CAUSE_UNTRUSTED;
    case FAULT_NONE: break;
    }
    if (!m_strFailureDetail.empty()) return CAUSE_INCOMPLETE_INSTALLATION;
    if (m_Outcome == OUTCOME_BASEPACK_UNZIP_FAILED) return CAUSE_DAMAGED_DOWNLOAD;
    if (m_Outcome == OUTCOME_INSTALL_FAILED) {
        switch (m_nInstallError) {
        case INSTALL_COPY_ERROR:
        case INSTALL_VERSIONS_NOT_SAVED: return CAUSE_INCOMPLETE_INSTALLATION;
        case INSTALL_OK: break;
        default: return CAUSE_DAMAGED_DOWNLOAD;
        }
    }
    if (m_nLastDownloadResult != DOWNLOAD_OK) return CauseOfDownload(m_nLastDownloadResult, m_nLastHttpStatus);
    return m_bInitialized ? CAUSE_NONE : CAUSE_INCOMPLETE_INSTALLATION;
}
