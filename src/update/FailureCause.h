// Why a run failed, in the few words a player can act on: each cause has a
// tag of the text table (with a built-in text) that the window shows.
#pragma once

#include <windows.h>

#include <string>

#include "transfer/DownLoad.h"

enum EFailureCause : int {
    CAUSE_NONE = 0,
    CAUSE_NO_CONNECTION,        // no answer, a lost connection, silence
    CAUSE_SERVER_ERROR,         // an HTTP status the server should not send
    CAUSE_NOT_FOUND,            // 404 or 410: the file is not on the server
    CAUSE_UNTRUSTED,            // a signature missing or refused, or keys that cannot be read
    CAUSE_DISK_FULL,
    CAUSE_DAMAGED_DOWNLOAD,     // not the size, digest, names or bounds the server promised
    CAUSE_INCOMPLETE_INSTALLATION,  // files or configuration the launcher needs are missing or damaged
    CAUSE_STALE,                // the server's release information expired or is older than one seen before
    CAUSE_NO_MANIFEST,          // the release of the installed version cannot be checked: no manifest
    CAUSE_FILE_LOCKED,          // another program holds a game file open
    CAUSE_PROXY,                // the proxy asks for a sign-in it did not get (407)
    CAUSE_NOT_WRITABLE,         // the game's folder may not be written (Program Files, read-only)
};

// The text-table tag of a cause ("" for none).
const wchar_t* CauseTag(EFailureCause cause);

// What went wrong with a download, for the log: the HTTP status or the
// Windows error text, or what the transfer did.
std::wstring DownloadFailureText(EDownloadResult downloadResult, DWORD httpStatus, DWORD systemError);
