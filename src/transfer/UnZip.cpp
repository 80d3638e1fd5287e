// Unpacking a whole archive into a directory, for the engine's workers.
#include "ParallelExtract.h"
#include "PathCheck.h"
#include "ZipWrapper.h"
#include "update/UpdateEngine.h"

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
    std::vector<std::wstring> targets;
    targets.reserve(n);
    for (const std::wstring& name : files) {
        std::wstring target = AsciiLower(base + name);
        for (wchar_t& ch : target)
            if (ch == L'/') ch = L'\\';
        targets.push_back(target);
    }
    // ExtractFile clears a read-only attribute in the way itself.
    SExtractResult result;
    size_t reported = 0;
    ExtractAll(
        zip, [&](FileIO::CZipWrapper& second) { return second.Open(zipPath.c_str(), FileIO::CZipWrapper::MODE_READ); },
        files, targets, true,
        [&](size_t done) {
            if (!isManualPak || done == reported) return;
            reported = done;
            const float part = static_cast<float>(done) / static_cast<float>(n);
            Progress(4, part);
            Progress(8, progressFrom + (progressTo - progressFrom) * part);
        },
        &result);

    if (result.failed) {
        SetLog(LOG_TO_FILE, L"Error:unzip %s to %s failed,ErrorCode:%u", files[result.failedIndex].c_str(),
               targets[result.failedIndex].c_str(), result.failedError);
        return false;
    }
    SetLog(LOG_TO_FILE, L"UnZipFile:End succeed");
    return true;
}
