#include "DownloadRetry.h"

#include "DownLoad.h"

bool MayMendWithTime(EDownloadResult downloadResult, DWORD httpStatus)
{
    if (downloadResult == DOWNLOAD_STALLED || downloadResult == DOWNLOAD_TOO_SLOW) return true;
    if (downloadResult != DOWNLOAD_REQUEST_FAILED) return false;
    return httpStatus == 0 || httpStatus >= 500 || httpStatus == 408 || httpStatus == 429;
}

EDownloadResult RetryDownload(const SRetryPolicy& policy, const std::function<EDownloadResult()>& attempt,
                              const std::function<DWORD()>& status)
{
    EDownloadResult result = DOWNLOAD_REQUEST_FAILED;
    DWORD pause = policy.firstPauseMs;
    for (int i = 0; i < policy.attempts; ++i) {
        if (policy.cancel && *policy.cancel) break;
        if (i > 0) {
            // A full disk, a refused name or a body past its bounds fail the same way again.
            if (result != DOWNLOAD_REQUEST_FAILED && result != DOWNLOAD_STALLED && result != DOWNLOAD_TOO_SLOW) break;
            const bool wait = MayMendWithTime(result, status()) && pause > 0;
            if (policy.onRetry) policy.onRetry(i + 1, wait ? pause : 0);
            if (wait) {
                if (policy.wake && WaitForSingleObject(policy.wake, pause) == WAIT_OBJECT_0) break;
                pause = pause < policy.pauseCapMs / 2 ? pause * 2 : policy.pauseCapMs;
            }
        }
        result = attempt();
        if (result == DOWNLOAD_OK) break;
    }
    return result;
}
