// Sub-commands of the updater; each returns the process exit code.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ExitCodes.h"

typedef std::vector<std::wstring> Args;

int RunDownload(const Args& args);
int RunUnzip(const Args& args);
int RunMd5(const Args& args);
int RunInstall(const Args& args);
int RunUpdate(const Args& args);
int RunBasePack(const Args& args);
int RunVerify(const Args& args);
int RunCheckInstallation(const Args& args);  // verify --dir
int RunRepair(const Args& args);

// Shared by the commands that work on an installation (InstallCommand.cpp).
class CUpdateEngine;
bool EnterGameDir(const std::wstring& dir);  // with its text table; false after a message
bool InitEngine(CUpdateEngine& engine, HWND hWnd, void (*info)(const wchar_t*), void (*single)(float));
// The exit code of a failed installation, with its message.
int InstallExitCode(const CUpdateEngine& engine);
// The exit code of the engine's recorded fault, with its message; 0 without one.
int FaultExitCode(const CUpdateEngine& engine);
int InitExitCode(const CUpdateEngine& engine);  // of a failed InitEngine, with its message
// --stall-timeout S (1 to 3600 seconds) or --limit-rate KIB (KiB/s, 1 or
// more) at args[*i], taking its value; false for anything else.
bool ParseTransferOption(const Args& args, size_t* i, DWORD* stallMs, std::uint32_t* rateKiB);

