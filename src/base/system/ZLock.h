// Critical-section locks of the network library and their scoped guard.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

namespace Base {
namespace System {

class _CCriticalSectionImp {
public:
    virtual ~_CCriticalSectionImp() {}
};

#ifdef _WIN32
// Re-entrant for the thread that holds it (a Win32 critical section).
class ZSemiAutoIntLock : public _CCriticalSectionImp {
public:
    explicit ZSemiAutoIntLock(DWORD dwSpinCount = 0);
    ~ZSemiAutoIntLock() override;
    ZSemiAutoIntLock(const ZSemiAutoIntLock&) = delete;
    ZSemiAutoIntLock& operator=(const ZSemiAutoIntLock&) = delete;

    void Lock() { EnterCriticalSection(&m_cs); }
    void Unlock() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

class ZIntLock : public _CCriticalSectionImp {
public:
    ZIntLock();
    ~ZIntLock() override;
    ZIntLock(const ZIntLock&) = delete;
    ZIntLock& operator=(const ZIntLock&) = delete;

    void Lock() { EnterCriticalSection(&m_cs); }
    void Unlock() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

#else
// The byte-level code (pools, framing) also builds natively for the
// sanitizers; there a recursive mutex stands in for the critical section.
class ZSemiAutoIntLock : public _CCriticalSectionImp {
public:
    explicit ZSemiAutoIntLock(unsigned long dwSpinCount = 0) { (void)dwSpinCount; }
    ZSemiAutoIntLock(const ZSemiAutoIntLock&) = delete;
    ZSemiAutoIntLock& operator=(const ZSemiAutoIntLock&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

class ZIntLock : public _CCriticalSectionImp {
public:
    ZIntLock() = default;
    ZIntLock(const ZIntLock&) = delete;
    ZIntLock& operator=(const ZIntLock&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};
#endif

class ZLocker {
public:
    explicit ZLocker(ZSemiAutoIntLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~ZLocker() { m_lock.Unlock(); }
    ZLocker(const ZLocker&) = delete;
    ZLocker& operator=(const ZLocker&) = delete;

private:
    ZSemiAutoIntLock& m_lock;
};

}  // namespace System
}  // namespace Base
