// The engine's words for how things end: a step's result, a worker's
// outcome, a run's fault; and the one place each of the downloader's and the
// installer's verdicts becomes a fault and a fault becomes a cause.
#pragma once

#include <windows.h>

#include "FailureCause.h"
#include "transfer/DownLoad.h"
#include "transfer/InstallError.h"

// Results of the engine's steps (update information, version comparison,
// download), with their fixed numbers.
enum EStepResult : int {
    STEP_FAILED = 0,
    STEP_DOWNLOAD_FAILED = 1,  // every attempt of the download failed
    STEP_SUCCEEDED = 2,
    STEP_STOPPED = 3,          // a stop request ended the download
    STEP_EQUAL_VERSIONS = 6,   // client and server are at the same version
    STEP_PACKAGE_MISMATCH = 7, // the package is not the size or MD5 the revision table states
};

// How the worker of the last start operation ended, recorded before the
// window hears of it; console tools read it once the worker has ended.
enum EWorkerOutcome : int {
    OUTCOME_RUNNING = 0,               // started and not ended yet
    OUTCOME_NO_ADDRESS,                // no update-information address: nothing sent
    OUTCOME_INFO_READY,                // WM_UPDATE_INFO_READY
    OUTCOME_INFO_FAILED,               // WM_DOWNLOADED_ALLINFO_ERROR
    OUTCOME_UP_TO_DATE,                // WM_START_GAME
    OUTCOME_NO_LOCAL_VERSION,          // WM_AUTOPATCH_STOP
    OUTCOME_DOWNLOAD_FAILED,           // WM_Download_ERRORReLink
    OUTCOME_STOPPED,                   // WM_AUTOPATCH_STOP
    OUTCOME_INSTALLED,                 // WM_UPDATE_COMPLETE
    OUTCOME_INSTALL_FAILED,            // the run result's install error tells why
    OUTCOME_BASEPACK_DOWNLOADED,       // WM_UNZIP_BASEPACK1 or 2
    OUTCOME_BASEPACK_DOWNLOAD_FAILED,  // a status text only
    OUTCOME_BASEPACK_UNPACKED,         // WM_CHECK_INSTALL
    OUTCOME_BASEPACK_UNZIP_FAILED,     // a status text only
    OUTCOME_PACKAGE_MISMATCH,          // WM_Download_ERRORReLink: not the revision table's size or MD5
    OUTCOME_NEEDS_REPAIR,              // a damaged journal: Initialize failed, backups kept
    OUTCOME_VERIFIED,                  // WM_REPAIR_DONE: the installation is its release's
    OUTCOME_DAMAGED,                   // WM_REPAIR_DONE: files missing or damaged, not repaired
    OUTCOME_REPAIRED,                  // WM_REPAIR_DONE: the missing and damaged files restored
    OUTCOME_INTERNAL_ERROR,            // WM_RUN_FAILED: the run threw; the log says what
};

// What made the last run fail, beyond its outcome; each has its own log line.
enum EFault : int {
    FAULT_NONE = 0,
    FAULT_REFUSED_NAME,    // a name from the server or a package failed the path fence
    FAULT_BOUND_EXCEEDED,  // a file, count or body of the server's was too large
    FAULT_DISK_FULL,
    FAULT_BAD_DIGEST,      // the package is not the size or MD5 the revision table states
    FAULT_NEEDS_REPAIR,    // the journal of an installation cannot be read
    FAULT_UNVERIFIED,      // a download's signature was missing or refused
    FAULT_BAD_KEYS,        // the trusted keys cannot be read unambiguously: nothing is updated
    FAULT_STALE,           // expired, or older than a publication already accepted (a replay)
    FAULT_DAMAGED,         // the installation differs from its release (verify)
    FAULT_BAD_MANIFEST,    // a manifest that does not hold together (duplicates, chunk lists, cut short)
    FAULT_BAD_CHUNK,       // a chunk whose bytes are not its id, a bundle short or wrong on every server
    FAULT_NO_MANIFEST,     // the chunk store has no manifest of the installed version
    FAULT_FILE_LOCKED,     // a file to replace stayed in use by another program
    FAULT_NOT_WRITABLE,    // the installation's folder may not be written by this user
};

// The fault a failed download is by itself (FAULT_NONE when it is none:
// time or another server may mend it).
EFault FaultOfDownload(EDownloadResult result);
// The fault an installer's verdict is by itself (FAULT_NONE when its own
// outcome says enough).
EFault FaultOfInstallError(EInstallError error);

// The cause a player is shown for a fault (CAUSE_NONE for FAULT_NONE).
EFailureCause CauseOfFault(EFault fault);
// For a failed installation without a fault.
EFailureCause CauseOfInstallError(EInstallError error);
// For a worker that ended without a fault or an installer's verdict.
EFailureCause CauseOfOutcome(EWorkerOutcome outcome);
// The cause of a failed download by its result and HTTP status.
EFailureCause CauseOfDownload(EDownloadResult result, DWORD httpStatus);
