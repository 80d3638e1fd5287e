// Fetches the chunks a plan lacks with Range requests on the bundles, on up
// to four connections at once, into the spool. Every chunk is checked
// against its id before the spool takes it; a range that fails twice, or a
// chunk that does not check, is asked of the next server.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ChunkPlan.h"
#include "ChunkSpool.h"
#include "LogSink.h"
#include "Manifest.h"
#include "DownLoad.h"
#include "Proxy.h"

struct SFetchRules {
    DWORD stallMs = 30000;
    std::uint32_t stallBytes = 4096;
    std::uint32_t rate = 0;     // bytes per second for all connections together (0: no limit)
    std::uint32_t minRate = 1024;
    const std::atomic<bool>* cancel = nullptr;
    SProxy proxy;
};

class CChunkFetcher {
public:
    // stores: the chunk store's address on each server, in the order to try
    // them ("http://host/store/").
    CChunkFetcher(const SManifest& manifest, CChunkSpool& spool, std::vector<std::string> stores);
    void SetRules(const SFetchRules& rules) { m_rules = rules; }
    void SetLog(LogSink log) { m_log = std::move(log); }
    // Received and expected bytes, every tenth of a second, on the calling thread.
    void SetProgress(std::function<void(std::uint64_t received, std::uint64_t total)> progress)
    {
        m_progress = std::move(progress);
    }

    // DOWNLOAD_OK once every chunk of the ranges is in the spool; else the
    // code of the last failure (LastStatus and LastError tell more).
    EDownloadResult Fetch(const std::vector<SChunkRange>& ranges, unsigned connections = 4);
    std::uint64_t Received() const { return m_received; }
    DWORD LastStatus() const { return m_status; }
    DWORD LastError() const { return m_error; }
    // How many chunks a server sent with bytes that were not the chunk.
    unsigned BadChunks() const { return m_badChunks; }
    // How many ranges a server sent short or not as asked.
    unsigned ShortBundles() const { return m_shortBundles; }

private:
    struct SWork {
        SChunkRange range;
        std::size_t store = 0;
        int attempts = 0;
    };
    void Worker(std::uint32_t rate);
    void Log(const std::wstring& line);
    // Queues what of work is left for the next server; false when none is left.
    bool Next(SWork work);

    const SManifest& m_manifest;
    CChunkSpool& m_spool;
    std::vector<std::string> m_stores;
    SFetchRules m_rules;
    LogSink m_log;
    std::function<void(std::uint64_t, std::uint64_t)> m_progress;

    std::mutex m_lock;
    std::vector<SWork> m_queue;
    std::size_t m_busy = 0;
    std::atomic<bool> m_failed{false};
    std::atomic<EDownloadResult> m_result{DOWNLOAD_OK};
    std::atomic<std::uint64_t> m_received{0};
    std::atomic<DWORD> m_status{0}, m_error{0};
    std::atomic<unsigned> m_badChunks{0}, m_shortBundles{0};
};
