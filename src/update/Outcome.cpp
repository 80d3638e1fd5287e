#include "Outcome.h"

EFault FaultOfDownload(EDownloadResult result)
{
    switch (result) {
    case DOWNLOAD_DISK_FULL: return FAULT_DISK_FULL;
    case DOWNLOAD_TOO_LARGE: return FAULT_BOUND_EXCEEDED;
    default: return FAULT_NONE;
    }
}

EFault FaultOfInstallError(EInstallError error)
{
    switch (error) {
    case INSTALL_REFUSED_NAME: return FAULT_REFUSED_NAME;
    case INSTALL_BOUND_EXCEEDED: return FAULT_BOUND_EXCEEDED;
    case INSTALL_DISK_FULL: return FAULT_DISK_FULL;
    case INSTALL_NEEDS_REPAIR: return FAULT_NEEDS_REPAIR;
    case INSTALL_FILE_LOCKED: return FAULT_FILE_LOCKED;
    default: return FAULT_NONE;
    }
}

EFailureCause CauseOfFault(EFault fault)
{
    switch (fault) {
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
    return CAUSE_NONE;
}

EFailureCause CauseOfInstallError(EInstallError error)
{
    switch (error) {
    case INSTALL_COPY_ERROR:
    case INSTALL_VERSIONS_NOT_SAVED: return CAUSE_INCOMPLETE_INSTALLATION;
    case INSTALL_OK: return CAUSE_NONE;
    default: return CAUSE_DAMAGED_DOWNLOAD;
    }
}

EFailureCause CauseOfOutcome(EWorkerOutcome outcome)
{
    return outcome == OUTCOME_BASEPACK_UNZIP_FAILED ? CAUSE_DAMAGED_DOWNLOAD : CAUSE_NONE;
}

EFailureCause CauseOfDownload(EDownloadResult result, DWORD httpStatus)
{
    switch (result) {
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
