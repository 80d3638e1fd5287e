#include "StopGuard.h"

#include "UpdateEngine.h"

CStopGuard::CStopGuard(CUpdateEngine& engine) : m_engine(engine)
{
    if (m_engine.m_hStopEvent) ResetEvent(m_engine.m_hStopEvent.Get());
    if (m_engine.m_hCancelWake) ResetEvent(m_engine.m_hCancelWake.Get());
    m_engine.m_bCancelTransfer = false;
    m_engine.m_bDownloadDone = false;
}

CStopGuard::~CStopGuard()
{
    m_engine.m_bDownloadDone = true;
    if (m_engine.m_hStopEvent) SetEvent(m_engine.m_hStopEvent.Get());
}

bool CStopGuard::StopRequested() const { return m_engine.m_bCancelTransfer; }

const std::atomic<bool>* CStopGuard::CancelFlag() const { return &m_engine.m_bCancelTransfer; }
