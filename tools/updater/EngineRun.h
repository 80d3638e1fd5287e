// What the updater's commands that run the engine share: the hidden window
// that takes the engine's messages, the options of a run, and the update
// information fetched before a run on a patch server.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "Commands.h"
#include "base/system/MessageWindow.h"
#include "update/UpdateEngine.h"

// Receives what the engine sends the launcher's window.
class CRun {
public:
    CRun();
    HWND Window() const { return m_window.Handle(); }
    // Waits for the worker of the last start operation, handling the
    // messages it sends; then the worker's outcome.
    EWorkerOutcome Wait(CUpdateEngine& engine);

private:
    void OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    CMessageWindow m_window;
};

struct SOptions {
    std::wstring dir;
    bool telecom = true;
    unsigned server = 0;
    bool testServer = false;
    bool oneStep = false;
    bool full = false;           // verify: every byte hashed
    DWORD stallMs = 0;           // 0: the configuration's
    std::uint32_t rateKiB = 0;   // 0: the configuration's
    std::wstring proxy;          // "": the configuration's
};

// The current file's bar; on a terminal the status line shows the download.
void PrintDownloadFraction(float fraction);
void PrintStatus(const wchar_t* text);
// updateOptions: the options of a run on a patch server (line, server, -TS,
// transfer limits); verify: --full.
bool ParseOptions(const Args& args, SOptions* o, bool updateOptions, bool verify = false);
// The engine on the installation, stopped by Ctrl+C.
bool StartEngine(CUpdateEngine& engine, HWND hWnd, ProgressFunCallback single);
// Enters the installation, starts the engine and fetches the update
// information; 0 when the chosen patch server is there, else the exit code
// (its message printed).
int PrepareServerRun(CRun& run, CUpdateEngine& engine, const SOptions& o);
