// Sub-commands of the updater; each returns the process exit code.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<std::wstring> Args;

int RunDownload(const Args& args);
int RunUnzip(const Args& args);
int RunMd5(const Args& args);
int RunInstall(const Args& args);
int RunUpdate(const Args& args);
int RunBasePack(const Args& args);
int RunVerify(const Args& args);

// Shared by the commands that work on an installation (InstallCommand.cpp).
class CUpdateEngine;
bool EnterGameDir(const std::wstring& dir);  // with its text table; false after a message
bool InitEngine(CUpdateEngine& engine, HWND hWnd, void (*info)(const wchar_t*), void (*single)(float));
int InstallExitCode(int installError);
// The exit code of the engine's recorded fault, with its message; 0 without one.
int FaultExitCode(const CUpdateEngine& engine);
int InitExitCode(const CUpdateEngine& engine);  // of a failed InitEngine
// --stall-timeout S (1 to 3600 seconds) or --limit-rate KIB (KiB/s, 1 or
// more) at args[*i], taking its value; false for anything else.
bool ParseTransferOption(const Args& args, size_t* i, DWORD* stallMs, std::uint32_t* rateKiB);

// Exit codes, shown by updater --help.
enum {
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
};
