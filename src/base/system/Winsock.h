// Winsock 2.2 is started before main and cleaned up at exit by a global
// object in Winsock.cpp. Calling IsWinsockStarted links that object in.
#pragma once

namespace Base {
namespace System {

bool IsWinsockStarted();

}  // namespace System
}  // namespace Base
