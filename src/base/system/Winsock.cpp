#include "Winsock.h"

#include <winsock2.h>

#include <cstdlib>

namespace Base {
namespace System {

namespace {

class ZWinsockStartup {
public:
    ZWinsockStartup()
    {
        WSADATA data;
        if (WSAStartup(0x0202, &data) != 0) std::exit(-1);
        m_bStarted = true;
    }
    ~ZWinsockStartup()
    {
        if (m_bStarted) WSACleanup();
    }
    bool m_bStarted = false;
};

ZWinsockStartup g_winsock;

}  // namespace

bool IsWinsockStarted() { return g_winsock.m_bStarted; }

}  // namespace System
}  // namespace Base
