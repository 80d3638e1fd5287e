// How a download is tried again: up to four attempts while the request or the
// transfer fails, pausing 1, 2, 4 s (at most 8 s) after failures that time may
// mend (no connection, silence, a slow or busy server); a stop ends a pause.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "DownLoad.h"

struct SRetryPolicy {
    int attempts = 4;
    DWORD firstPauseMs = 1000;
    DWORD pauseCapMs = 8000;
    HANDLE wake = nullptr;                      // set: a pause ends, and no attempt follows
    const std::atomic<bool>* cancel = nullptr;  // raised: no attempt follows
    // Told before each further attempt (counted from 2) and its pause.
    std::function<void(int attempt, DWORD pauseMs)> onRetry;
};

// A missing file stays missing; silence, a lost connection or a busy server may pass.
bool MayMendWithTime(EDownloadResult downloadResult, DWORD httpStatus);

// Calls attempt until it succeeds, fails in
// another way than the request or the transfer, or the attempts are used up;
// status() gives the HTTP status of the last response. The last code.
EDownloadResult RetryDownload(const SRetryPolicy& policy, const std::function<EDownloadResult()>& attempt,
                              const std::function<DWORD()>& status);
