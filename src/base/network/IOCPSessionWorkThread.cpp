#include "IOCPSessionWorkThread.h"

#include "IOCPSession.h"
#include "OverlappedBuff.h"
#include "base/system/Winsock.h"

namespace Base {
namespace NetWork {

CIOCPSessionWorkThread::CIOCPSessionWorkThread()
{
    (void)System::IsWinsockStarted();
    for (unsigned i = 0; i < m_nThreadCount; ++i) {
        m_vecThreads.emplace_back(new System::ZThread);
        m_vecThreads.back()->SetProc(&CIOCPSessionWorkThread::WorkerStep, this);
        m_vecThreads.back()->Start(true, THREAD_PRIORITY_HIGHEST, 0);
    }
}

CIOCPSessionWorkThread::~CIOCPSessionWorkThread()
{
    for (auto& t : m_vecThreads) t->Stop(true);
}

void CIOCPSessionWorkThread::PostEvent(CIOCPSession* session, std::uint32_t code)
{
    System::ZLocker guard(m_eventLock);
    m_vecEvents.push_back(SNetEvent{session, code});
}

std::size_t CIOCPSessionWorkThread::PendingEvents()
{
    System::ZLocker guard(m_eventLock);
    return m_vecEvents.size();
}

void CIOCPSessionWorkThread::RunEvents()
{
    std::vector<SNetEvent> batch;
    {
        System::ZLocker guard(m_eventLock);
        if (m_vecEvents.empty()) return;
        batch.swap(m_vecEvents);
    }
    // Outside the lock: an event may post the next one.
    for (const SNetEvent& e : batch) e.session->OnEvent(e.code);
}

void CIOCPSessionWorkThread::WorkerStep(void* arg)
{
    auto* self = static_cast<CIOCPSessionWorkThread*>(arg);
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* pOverlapped = nullptr;
    const BOOL ok = GetQueuedCompletionStatus(self->m_port.GetHandle(), &bytes, &key, &pOverlapped, WAIT_MS);
    if (!ok) {
        if (key != 0) {
            if (pOverlapped != nullptr)
                reinterpret_cast<CIOCPObject*>(key)->OnIOCompleteFailed(COverlappedBuff::FromOverlapped(pOverlapped));
            return;
        }
        self->RunEvents();
        return;
    }
    if (key == 0 || pOverlapped == nullptr) return;
    COverlappedBuff* pBuff = COverlappedBuff::FromOverlapped(pOverlapped);
    pBuff->SetNumberOfBytes(bytes);
    reinterpret_cast<CIOCPObject*>(key)->OnIOComplete(pBuff);
}

}  // namespace NetWork
}  // namespace Base
