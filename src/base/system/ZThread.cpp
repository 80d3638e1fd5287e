#include "ZThread.h"

#include <objbase.h>
#include <process.h>

namespace Base {
namespace System {

ZThread::ZThread() { Reset(); }

ZThread::~ZThread() { Stop(true); }

void ZThread::Reset()
{
    proc = nullptr;
    arg = nullptr;
    handle.Reset();
    loop = false;
    stop = false;
    finished = true;
    priority = 0;
}

void ZThread::SetProc(ZThreadProc p, void* a)
{
    proc = p;
    arg = a;
}

bool ZThread::Start(bool bLoop, int nPriority, unsigned nStackSize)
{
    if (proc == nullptr || handle) return false;
    // Cleared before the thread exists, so one that ends at once is seen as finished.
    stop = false;
    finished = false;
    loop = bLoop;
    priority = nPriority;
    uintptr_t h = _beginthreadex(nullptr, nStackSize, &ZThread::Body, this, 0, nullptr);
    if (h == 0) {
        finished = true;
        return false;
    }
    handle.Reset(reinterpret_cast<HANDLE>(h));
    return SetThreadPriority(handle.Get(), priority) != FALSE;
}

unsigned __stdcall ZThread::Body(void* self)
{
    ZThread* t = static_cast<ZThread*>(self);
    CoInitialize(nullptr);
    // Nothing may unwind out of the thread: the loop ends, the thread is finished.
    try {
        if (t->loop) {
            while (!t->stop) t->proc(t->arg);
        } else {
            t->proc(t->arg);
        }
    } catch (...) {
        OutputDebugStringW(L"Tidewell: a thread's procedure threw; the thread ends\n");
    }
    t->stop = false;
    t->finished = true;
    CoUninitialize();
    return 0;
}

void ZThread::Stop(bool bWait)
{
    stop = true;
    if (handle) {
        if (bWait) {
            while (!finished) Sleep(50);
        }
        Sleep(1);
        if (!finished) TerminateThread(handle.Get(), 255);
    }
    Reset();
}

}  // namespace System
}  // namespace Base
