// How the engine's last run ended and what made it fail: written by the
// worker as it goes, read by the window and the console tools once the
// worker has ended.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "Outcome.h"

class CRunResult {
public:
    EWorkerOutcome Outcome() const { return m_Outcome; }
    void SetOutcome(EWorkerOutcome outcome) { m_Outcome = outcome; }

    EFault Fault() const { return m_Fault; }
    // The first fault of a run stays.
    void Fault(EFault fault)
    {
        EFault none = FAULT_NONE;
        m_Fault.compare_exchange_strong(none, fault);
    }
    // Puts back the fault of before an attempt that another way made good.
    void RestoreFault(EFault fault) { m_Fault = fault; }

    // A failed transfer of the run, for its cause.
    void RecordDownloadFailure(EDownloadResult result, DWORD httpStatus)
    {
        m_LastDownloadResult = result;
        m_nLastHttpStatus = httpStatus;
    }

    // Why the last installation stopped (INSTALL_OK when it did not).
    EInstallError InstallError() const { return m_InstallError; }
    void SetInstallError(EInstallError error) { m_InstallError = error; }

    // What is missing of an incomplete installation, or who holds a file
    // (names; the log says more).
    const std::wstring& FailureDetail() const { return m_strFailureDetail; }
    void SetFailureDetail(const std::wstring& detail) { m_strFailureDetail = detail; }

    // Why the run failed, in the words a player can act on; an engine that
    // never initialised lacks its installation.
    EFailureCause Cause(bool initialized) const;

    // A new run has no fault, failed transfer or detail; the installer's
    // verdict is cleared by the runs that install.
    void Clear()
    {
        m_Fault = FAULT_NONE;
        m_LastDownloadResult = DOWNLOAD_OK;
        m_nLastHttpStatus = 0;
        m_strFailureDetail.clear();
    }

private:
    std::atomic<EWorkerOutcome> m_Outcome{OUTCOME_RUNNING};
    std::atomic<EFault> m_Fault{FAULT_NONE};
    EDownloadResult m_LastDownloadResult = DOWNLOAD_OK;
    DWORD m_nLastHttpStatus = 0;
    EInstallError m_InstallError = INSTALL_OK;
    std::wstring m_strFailureDetail;
};
