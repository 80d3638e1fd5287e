#include "ZLock.h"

namespace Base {
namespace System {

ZSemiAutoIntLock::ZSemiAutoIntLock(DWORD dwSpinCount)
{
    if (dwSpinCount == 0)
        InitializeCriticalSection(&m_cs);
    else
        InitializeCriticalSectionAndSpinCount(&m_cs, dwSpinCount);
}

ZSemiAutoIntLock::~ZSemiAutoIntLock() { DeleteCriticalSection(&m_cs); }

ZIntLock::ZIntLock() { InitializeCriticalSection(&m_cs); }

ZIntLock::~ZIntLock() { DeleteCriticalSection(&m_cs); }

}  // namespace System
}  // namespace Base
