#include "IOCompletionPort.h"

namespace Base {
namespace NetWork {

CIOCompletionPort::CIOCompletionPort() : m_hPort(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1)) {}

CIOCompletionPort::~CIOCompletionPort() = default;

bool CIOCompletionPort::AssociateDevice(SOCKET s, ULONG_PTR key)
{
    return m_hPort && CreateIoCompletionPort(reinterpret_cast<HANDLE>(s), m_hPort.Get(), key, 0) == m_hPort.Get();
}

}  // namespace NetWork
}  // namespace Base
