#include "IOCompletionPort.h"

namespace Base {
namespace NetWork {

CIOCompletionPort::CIOCompletionPort()
{
    m_hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
}

CIOCompletionPort::~CIOCompletionPort()
{
    if (m_hPort) CloseHandle(m_hPort);
}

bool CIOCompletionPort::AssociateDevice(SOCKET s, ULONG_PTR key)
{
    if (m_hPort == nullptr) return false;
    return CreateIoCompletionPort(reinterpret_cast<HANDLE>(s), m_hPort, key, 0) == m_hPort;
}

}  // namespace NetWork
}  // namespace Base
