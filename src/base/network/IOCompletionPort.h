// One I/O completion port (one concurrent thread); closed with the object.
#pragma once

#include <winsock2.h>

#include "base/utility/WinHandle.h"

namespace Base {
namespace NetWork {

class CIOCompletionPort {
public:
    CIOCompletionPort();
    virtual ~CIOCompletionPort();
    CIOCompletionPort(const CIOCompletionPort&) = delete;
    CIOCompletionPort& operator=(const CIOCompletionPort&) = delete;

    // Completions of the socket arrive with `key`.
    bool AssociateDevice(SOCKET s, ULONG_PTR key);
    HANDLE GetHandle() const { return m_hPort.Get(); }

private:
    Utility::CKernelHandle m_hPort;
};

class COverlappedBuff;

// A completion target: the key it is registered under is its own address.
class CIOCPObject {
public:
    virtual ~CIOCPObject() {}
    virtual void OnIOComplete(COverlappedBuff* pBuff) = 0;
    virtual void OnIOCompleteFailed(COverlappedBuff* pBuff) = 0;

    CIOCompletionPort* GetPort() const { return m_pPort; }

protected:
    CIOCompletionPort* m_pPort = nullptr;
};

}  // namespace NetWork
}  // namespace Base
