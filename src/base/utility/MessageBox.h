// Every message box of the program goes through ShowMessageBox, so that tests
// and unattended runs can answer it instead of a player.
#pragma once

#include <windows.h>

typedef int (*MessageBoxHook)(HWND hOwner, const wchar_t* pText, const wchar_t* pCaption, UINT uType);

// Shows the box, or hands it to the installed hook. When no hook is set and
// the environment variable TIDEWELL_MESSAGEBOX names an answer (ok, cancel,
// yes, no, retry, abort, ignore), the box is written to stderr and answered
// with it.
int ShowMessageBox(HWND hOwner, const wchar_t* pText, const wchar_t* pCaption, UINT uType);

// Installs a hook (null restores the real box); returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
