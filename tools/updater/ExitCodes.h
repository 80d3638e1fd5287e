// The updater's exit codes: one table gives each its message and its line in
// --help, so that what a run prints and what the help says cannot drift apart.
#pragma once

#include <string>

enum EExitCode {
    EXIT_OK = 0,
    EXIT_FAILED = 1,
    EXIT_USAGE = 2,
    EXIT_BAD_PACKAGE = 3,
    EXIT_VERSION_RANGE = 4,
    EXIT_COPY_ERROR = 5,
    EXIT_DIGEST_ERROR = 6,
    EXIT_VERSIONS_NOT_SAVED = 7,
    EXIT_NO_CONFIG = 8,
    EXIT_NEEDS_REPAIR = 9,
    EXIT_NO_UPDATE_INFO = 10,
    EXIT_NO_SERVER = 11,
    EXIT_NO_LOCAL_VERSION = 12,
    EXIT_DOWNLOAD_FAILED = 13,
    EXIT_PACKAGE_MISMATCH = 14,
    EXIT_STOPPED = 15,
    EXIT_NO_PROGRESS = 16,
    EXIT_REFUSED_NAME = 17,
    EXIT_BOUND_EXCEEDED = 18,
    EXIT_DISK_FULL = 19,
    EXIT_NO_BASEPACKS = 20,
    EXIT_BASEPACK_DOWNLOAD = 21,
    EXIT_BASEPACK_UNZIP = 22,
    EXIT_UNVERIFIED = 23,
    EXIT_DELTA_BASE = 24,
    EXIT_BAD_KEYS = 25,
    EXIT_STALE = 26,
    EXIT_BAD_MANIFEST = 27,
    EXIT_BAD_CHUNK = 28,
    EXIT_DAMAGED_INSTALLATION = 29,
    EXIT_NO_MANIFEST = 30,
    EXIT_FILE_LOCKED = 31,
    EXIT_NOT_WRITABLE = 32,
};

// Prints the code's message to stderr, followed by detail when given, and
// returns the code. EXIT_OK prints nothing.
int ExitWith(EExitCode code, const std::wstring& detail = L"");
// The code's message, as ExitWith prints it.
const wchar_t* ExitMessage(EExitCode code);
// "exit codes:" and one line per code, for --help.
std::wstring ExitCodeHelp();
