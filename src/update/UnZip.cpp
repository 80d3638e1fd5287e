// Unpacking a whole archive into a directory, for the engine's workers.
#include "UpdateEngine.h"
#include "base/utility/PathText.h"
#include "transfer/ArchiveNames.h"
#include "transfer/ParallelExtract.h"
#include "transfer/Directories.h"
#include "transfer/PathFence.h"
#include "transfer/ZipWrapper.h"

using Base::Utility::AsciiLower;
using Base::Utility::WithBackslashes;

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
    zip.SetDiskBudget(m_pDiskBudget);
    if (zip.IsReaderClosed()) {
        const DWORD error = GetLastError();
        SetLog(LOG_TO_FILE, L"Error: cannot open file %s,ErrorCode:%u", zipPath.c_str(), error);
        return false;
    }
    const std::vector<std::wstring> files = zip.ListFiles();
    // A name that climbs out of the target, or into the engine's own files,
    // refuses the whole archive before anything is written.
    SNameRefusal refusal;
    if (!CheckArchiveNames(zip, destDir.empty() ? NAME_RELATIVE_PATH : NAME_PACKAGE_TARGET, &refusal)) {
        SetLog(LOG_TO_FILE, L"Error:refused name %s (%s) in %s", refusal.name.c_str(), refusal.why.c_str(),
               zipPath.c_str());
        Fault(FAULT_REFUSED_NAME);
        return false;
    }

    const size_t n = files.size();
    const std::wstring base = destDir.empty() ? m_strTempDir : destDir;
    std::vector<std::wstring> targets;
    targets.reserve(n);
    for (const std::wstring& name : files) targets.push_back(WithBackslashes(AsciiLower(base + name)));
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
            Progress(PROGRESS_SINGLE, part);
            Progress(PROGRESS_TOTAL, progressFrom + (progressTo - progressFrom) * part);
        },
        &result);

    if (result.failed) {
        if (IsDiskFullError(result.failedError)) {
            SetLog(LOG_TO_FILE, L"Error:disk full: cannot unpack %s to %s", files[result.failedIndex].c_str(),
                   targets[result.failedIndex].c_str());
            Fault(FAULT_DISK_FULL);
        }
        SetLog(LOG_TO_FILE, L"Error:unzip %s to %s failed,ErrorCode:%u", files[result.failedIndex].c_str(),
               targets[result.failedIndex].c_str(), result.failedError);
        return false;
    }
    SetLog(LOG_TO_FILE, L"UnZipFile:End succeed");
    return true;
}
