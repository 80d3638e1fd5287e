// The worker pool of all sessions: two threads wait on one completion port
// with a 1 ms time-out and, whenever a wait ends without a completion, run
// the events posted since (start a send, start a receive, housekeeping).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "IOCompletionPort.h"
#include "base/system/TSingleton.h"
#include "base/system/ZLock.h"
#include "base/system/ZThread.h"

namespace Base {
namespace NetWork {

class CIOCPSession;

struct SNetEvent {
    CIOCPSession* session;
    std::uint32_t code;
};

class CIOCPSessionWorkThread {
public:
    enum : unsigned { THREAD_COUNT = 2, WAIT_MS = 1 };

    CIOCPSessionWorkThread();
    virtual ~CIOCPSessionWorkThread();
    CIOCPSessionWorkThread(const CIOCPSessionWorkThread&) = delete;
    CIOCPSessionWorkThread& operator=(const CIOCPSessionWorkThread&) = delete;

    static CIOCPSessionWorkThread* Instance() { return Utility::TSingleton<CIOCPSessionWorkThread>::Instance(); }

    void PostEvent(CIOCPSession* session, std::uint32_t code);
    CIOCompletionPort& GetPort() { return m_port; }
    std::size_t PendingEvents();

private:
    static void WorkerStep(void* self);
    void RunEvents();

    unsigned m_nThreadCount = THREAD_COUNT;
    CIOCompletionPort m_port;
    std::vector<std::unique_ptr<System::ZThread>> m_vecThreads;
    System::ZSemiAutoIntLock m_eventLock;
    std::vector<SNetEvent> m_vecEvents;
};

}  // namespace NetWork
}  // namespace Base
