// A thread that runs a plain function once or in a loop until stopped.
#pragma once

#include <windows.h>

#include <atomic>

#include "base/utility/WinHandle.h"

namespace Base {
namespace System {

typedef void (*ZThreadProc)(void* arg);

class ZThread {
public:
    ZThread();
    virtual ~ZThread();
    ZThread(const ZThread&) = delete;
    ZThread& operator=(const ZThread&) = delete;

    void SetProc(ZThreadProc proc, void* arg);
    // Fails when no proc is set or a thread already runs.
    bool Start(bool bLoop, int nPriority = THREAD_PRIORITY_NORMAL, unsigned nStackSize = 0);
    // Asks the thread to stop; with bWait, waits until it has left its loop.
    // A thread still running after that is terminated.
    void Stop(bool bWait);
    bool IsFinished() const { return finished; }
    bool IsStopping() const { return stop; }

private:
    static unsigned __stdcall Body(void* self);
    void Reset();

    ZThreadProc proc;
    void* arg;
    Utility::CKernelHandle handle;
    // Shared with the thread.
    std::atomic<bool> loop;
    std::atomic<bool> stop;
    std::atomic<bool> finished;
    int priority;
};

}  // namespace System
}  // namespace Base
