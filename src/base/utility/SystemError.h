// The text Windows has for an error code (WinINet's included), for log lines
// that a person reads.
#pragma once

#include <windows.h>

#include <string>

// "TEXT (error N)", or "error N" when Windows has no text for it.
std::wstring SystemErrorText(DWORD error);
