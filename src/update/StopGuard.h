// The stop protocol around one download loop. On entry the "StopDownload"
// event is reset, the cancel flag cleared and the loop marked running; on
// every exit the loop is marked done and the event signalled, so that no
// path leaves a stop request waiting for ever. Each loop waits on a fresh
// event: once signalled it would never block again.
#pragma once

#include <atomic>

class CUpdateEngine;

class CStopGuard {
public:
    explicit CStopGuard(CUpdateEngine& engine);
    ~CStopGuard();
    CStopGuard(const CStopGuard&) = delete;
    CStopGuard& operator=(const CStopGuard&) = delete;

    // A stop request came in since the loop started.
    bool StopRequested() const;
    // Raised by a stop request: transfers end at their next read.
    const std::atomic<bool>* CancelFlag() const;

private:
    CUpdateEngine& m_engine;
};
