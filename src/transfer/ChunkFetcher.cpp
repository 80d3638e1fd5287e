#include "ChunkFetcher.h"

#include <algorithm>
#include <deque>
#include <thread>

#include "INetDownLoad.h"
#include "base/utility/HelperThread.h"
#include "base/utility/StrConv.h"

namespace {

const int kAttemptsPerStore = 2;

std::wstring Wide(const std::string& text) { return Base::Utility::AnsiToWide(text); }

}  // namespace

CChunkFetcher::CChunkFetcher(const SManifest& manifest, CChunkSpool& spool, std::vector<std::string> stores)
    : m_manifest(manifest), m_spool(spool), m_stores(std::move(stores))
{
}

void CChunkFetcher::Log(const std::wstring& line)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_log) m_log(line);
}

bool CChunkFetcher::Next(SWork work)
{
    if (++work.attempts >= kAttemptsPerStore) {
        work.attempts = 0;
        if (++work.store >= m_stores.size()) return false;
        Log(L"Warnning: chunks of " + Wide(m_manifest.bundles[work.range.bundle].name) + L" asked of the next server, " +
            Wide(m_stores[work.store]));
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_queue.push_back(std::move(work));
    return true;
}

void CChunkFetcher::Worker(std::uint32_t rate)
{
    CINetDownLoad http;
    http.SetProxy(m_rules.proxy);
    if (!http.Init()) {
        m_result = DOWNLOAD_REQUEST_FAILED;
        m_failed = true;
        return;
    }
    http.SetStallRule(m_rules.stallMs, m_rules.stallBytes);
    http.SetMinRate(m_rules.minRate);
    http.SetRateLimit(rate);
    http.SetCancelFlag(m_rules.cancel);
    std::string body;
    for (;;) {
        SWork work;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            if (m_failed || (m_rules.cancel && *m_rules.cancel)) return;
            if (m_queue.empty()) {
                if (m_busy == 0) return;
                hold.unlock();
                Sleep(20);
                continue;
            }
            work = std::move(m_queue.back());
            m_queue.pop_back();
            ++m_busy;
        }
        const SChunkRange& r = work.range;
        const std::string url = m_stores[work.store] + "bundles/" + m_manifest.bundles[r.bundle].name;
        const EDownloadResult code = http.FetchRange(Wide(url).c_str(), r.first, r.last, &body, &m_received);
        bool requeued = true;
        if (code == DOWNLOAD_STOPPED) {
            m_result = DOWNLOAD_STOPPED;
            m_failed = true;
        } else if (code != DOWNLOAD_OK) {
            m_status = http.LastStatus();
            m_error = http.LastError();
            if (code == DOWNLOAD_SIZE_MISMATCH) {
                ++m_shortBundles;
                Log(L"Error:bundle served short: " + Wide(url) + L" did not send bytes " + std::to_wstring(r.first) +
                    L"-" + std::to_wstring(r.last) + L" (HTTP " + std::to_wstring(http.LastStatus()) + L")");
            } else {
                Log(L"Warnning: range " + std::to_wstring(r.first) + L"-" + std::to_wstring(r.last) + L" of " + Wide(url) +
                    L" failed (code " + std::to_wstring(code) + L", HTTP " + std::to_wstring(http.LastStatus()) + L")");
            }
            if (!Next(work)) {
                m_result = code;
                m_failed = true;
            }
        } else {
            std::vector<std::uint32_t> bad;
            for (std::uint32_t c : r.chunks) {
                const SChunkRef& chunk = m_manifest.chunks[c];
                std::string why;
                if (!m_spool.Add(c, body.data() + (chunk.offset - r.first), chunk.packed, &why)) {
                    Log(L"Error:bad chunk: " + Wide(why) + L" (from " + Wide(url) + L")");
                    ++m_badChunks;
                    bad.push_back(c);
                }
            }
            if (!bad.empty()) {
                SWork again;
                again.store = work.store;
                again.attempts = kAttemptsPerStore - 1;  // a server that sends wrong bytes is not asked again
                std::vector<SChunkRange> ranges = MergeRanges(m_manifest, bad);
                for (SChunkRange& range : ranges) {
                    again.range = std::move(range);
                    requeued = Next(again) && requeued;
                }
                if (!requeued) {
                    m_result = DOWNLOAD_SIZE_MISMATCH;
                    m_failed = true;
                }
            }
        }
        std::lock_guard<std::mutex> hold(m_lock);
        --m_busy;
    }
}

EDownloadResult CChunkFetcher::Fetch(const std::vector<SChunkRange>& ranges, unsigned connections)
{
    if (ranges.empty()) return DOWNLOAD_OK;
    if (m_stores.empty()) return DOWNLOAD_REQUEST_FAILED;
    std::uint64_t total = 0;
    for (const SChunkRange& r : ranges)
        for (std::uint32_t c : r.chunks) total += m_manifest.chunks[c].packed;
    m_queue.clear();
    // Taken from the back: the first range goes first.
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) m_queue.push_back({*it, 0, 0});
    m_failed = false;
    m_result = DOWNLOAD_OK;
    m_busy = 0;
    connections = std::max(1u, std::min<unsigned>(connections, static_cast<unsigned>(ranges.size())));
    const std::uint32_t rate = m_rules.rate ? std::max<std::uint32_t>(m_rules.rate / connections, 1024) : 0;
    std::deque<Base::Utility::CHelperThread> workers;
    for (unsigned i = 0; i < connections; ++i) workers.emplace_back([this, rate] { Worker(rate); });
    // The workers end when the queue is empty and none is busy, or on a failure.
    for (bool running = true; running;) {
        running = false;
        Sleep(100);
        {
            std::lock_guard<std::mutex> hold(m_lock);
            running = !m_failed && (!m_queue.empty() || m_busy > 0);
        }
        if (m_progress) m_progress(std::min(m_received.load(), total), total);
    }
    for (Base::Utility::CHelperThread& t : workers) t.Join();
    if (m_rules.cancel && *m_rules.cancel) return DOWNLOAD_STOPPED;
    return m_result;
}
