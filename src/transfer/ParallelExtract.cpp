#include "ParallelExtract.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace {

// Below this many entries a second reader costs more than it saves.
const size_t kParallelFrom = 16;

}  // namespace

void ExtractAll(FileIO::CZipWrapper& first, const std::function<bool(FileIO::CZipWrapper&)>& openSecond,
                const std::vector<std::wstring>& names, const std::vector<std::wstring>& targets, bool stopOnError,
                const std::function<void(size_t done)>& report, SExtractResult* result)
{
    const size_t n = names.size();
    result->ok.assign(n, 0);
    result->md5.assign(n, std::string());
    result->failed = false;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::atomic<bool> stop{false};
    std::mutex lock;

    auto extractOne = [&](FileIO::CZipWrapper& reader, size_t i) {
        if (reader.ExtractFile(names[i].c_str(), targets[i].c_str(), ~0ull, &result->md5[i])) {
            result->ok[i] = 1;
        } else if (stopOnError) {
            const DWORD error = GetLastError();
            std::lock_guard<std::mutex> guard(lock);
            if (!result->failed) {
                result->failed = true;
                result->failedIndex = i;
                result->failedError = error;
            }
            stop = true;
        }
        ++done;
    };

    std::thread helper;
    FileIO::CZipWrapper second;
    if (n >= kParallelFrom && std::thread::hardware_concurrency() > 1 && openSecond(second)) {
        helper = std::thread([&] {
            for (size_t i; !stop && (i = next++) < n;) extractOne(second, i);
        });
    }
    for (size_t i; !stop && (i = next++) < n;) {
        extractOne(first, i);
        if (report) report(done);
    }
    if (helper.joinable()) helper.join();
    if (report) report(done);
}
