#include "RunResult.h"

EFailureCause CRunResult::Cause(bool initialized) const
{
    const EFailureCause ofFault = CauseOfFault(Fault());
    if (ofFault != CAUSE_NONE) return ofFault;
    if (!m_strFailureDetail.empty()) return CAUSE_INCOMPLETE_INSTALLATION;
    const EFailureCause ofOutcome = CauseOfOutcome(m_Outcome);
    if (ofOutcome != CAUSE_NONE) return ofOutcome;
    if (m_Outcome == OUTCOME_INSTALL_FAILED && m_InstallError != INSTALL_OK) return CauseOfInstallError(m_InstallError);
    if (m_LastDownloadResult != DOWNLOAD_OK) return CauseOfDownload(m_LastDownloadResult, m_nLastHttpStatus);
    return initialized ? CAUSE_NONE : CAUSE_INCOMPLETE_INSTALLATION;
}
