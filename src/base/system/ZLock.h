// Critical-section locks of the network library and their scoped guard.
#pragma once

#include <windows.h>

namespace Base {
namespace System {

class _CCriticalSectionImp {
public:
    virtual ~_CCriticalSectionImp() {}
};

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
