// Unpacking a whole archive into a directory, for the engine's workers.
#include <atomic>
#include <mutex>
#include <thread>

#include "PathCheck.h"
#include "ZipWrapper.h"
#include "update/UpdateEngine.h"

namespace {

// Below this many files a second reader costs more than it saves.
const size_t kParallelFrom = 16;

}  // namespace

bool CUpdateEngine::UnZipFile(const std::wstring& zipPath, const std::wstring& destDir, bool isManualPak,
                              float progressFrom, float progressTo)
{
    if (destDir.empty())
        SetLog(LOG_TO_FILE, L"UnZipFile:%s to CurrentDirectory.isManualPak=%u", zipPath.c_str(),
               static_cast<unsigned>(isManualPak));
    else
        SetLog(LOG_TO_FILE, L"UnZipFile:%s to %s isManualPak=%u", zipPath.c_str(), destDir.c_str(),
               static_cast<unsigned>(isManualPak));

    FileIO::CZipWrapper zip(zipPath.c_str(), FileIO::CZipWrapper::MODE_READ);
    if (zip.IsReaderClosed()) {
        const DWORD error = GetLastError();
        SetLog(LOG_TO_FILE, L"Error: cannot open file %s,ErrorCode:%u", zipPath.c_str(), error);
        return false;
    }
    const std::vector<std::wstring> files = zip.ListFiles();
    // A name that climbs out of the target refuses the whole archive before
    // anything is written.
    for (const std::wstring& name : files) {
        if (!IsSafeRelativePath(name)) {
            SetLog(LOG_TO_FILE, L"Error:unzip %s refused, unsafe entry name %s", zipPath.c_str(), name.c_str());
            return false;
        }
    }

    const size_t n = files.size();
    const std::wstring base = destDir.empty() ? m_strTempDir : destDir;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex lock;
    size_t done = 0;
    std::wstring failedEntry, failedTarget;
    DWORD failedError = 0;

    // Entries are taken in archive order by whichever reader is free; the two
    // readers overlap inflating with writing.
    auto work = [&](FileIO::CZipWrapper& reader) {
        for (;;) {
            const size_t i = next++;
            if (i >= n || failed) return;
            std::wstring target = AsciiLower(base + files[i]);
            for (wchar_t& ch : target)
                if (ch == L'/') ch = L'\\';
            // ExtractFile clears a read-only attribute in the way itself.
            if (!reader.ExtractFile(files[i].c_str(), target.c_str())) {
                const DWORD error = GetLastError();
                std::lock_guard<std::mutex> guard(lock);
                if (!failed) {
                    failedEntry = files[i];
                    failedTarget = target;
                    failedError = error;
                    failed = true;
                }
                return;
            }
            if (isManualPak) {
                std::lock_guard<std::mutex> guard(lock);
                const float part = static_cast<float>(++done) / static_cast<float>(n);
                Progress(4, part);
                Progress(8, progressFrom + (progressTo - progressFrom) * part);
            }
        }
    };

    std::thread helper;
    FileIO::CZipWrapper second;
    if (n >= kParallelFrom && std::thread::hardware_concurrency() > 1 &&
        second.Open(zipPath.c_str(), FileIO::CZipWrapper::MODE_READ))
        helper = std::thread([&] { work(second); });
    work(zip);
    if (helper.joinable()) helper.join();

    if (failed) {
        SetLog(LOG_TO_FILE, L"Error:unzip %s to %s failed,ErrorCode:%u", failedEntry.c_str(), failedTarget.c_str(),
               failedError);
        return false;
    }
    SetLog(LOG_TO_FILE, L"UnZipFile:End succeed");
    return true;
}
