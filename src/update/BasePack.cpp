// Filling an empty installation from the two base packs.
#include "Messages.h"
#include "StopGuard.h"
#include "UpdateEngine.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "transfer/Directories.h"
#include "transfer/PathFence.h"

void CUpdateEngine::DownloadBasePack(int pack)
{
    Sleep(500);
    const size_t k = static_cast<size_t>(pack - 1);
    const wchar_t* failedText = pack == 1 ? L"UNZIP_BASEPACK1_DOWNLOADFAILED" : L"UNZIP_BASEPACK2_DOWNLOADFAILED";
    SetLog(LOG_TO_FILE, pack == 1 ? L"DownloadBasePack1::Begin" : L"DownloadBasePack2::Begin");
    std::uint32_t size = 0;
    bool stopped = false;
    const std::string file = k < m_vecBasePackFile.size() ? m_vecBasePackFile[k] : "";
    const ENameVerdict verdict = FenceName(file, NAME_PLAIN_FILE);
    if (verdict != NAME_OK && k < m_vecBasePackURL.size()) {
        SetLog(LOG_TO_FILE, L"Error:refused name %s (%s) of base pack %d", Base::Utility::AnsiToWide(file).c_str(),
               NameVerdictText(verdict), pack);
        Fault(FAULT_REFUSED_NAME);
    } else if (k < m_vecBasePackURL.size()) {
        const std::string url = Base::Utility::WithSlashes(m_vecBasePackURL[k]);
        // In a folder of the engine's own: a base pack never replaces a file
        // of the installation, whatever it is called.
        const std::wstring local = BasePackPath(pack - 1);
        MakeDirectories(GetParentDir(local));
        m_strPackagePath = Base::Utility::WideToUtf8(local);
        // A stop request ends this download too.
        CStopGuard guard(*this);
        size = DownloadWithRetries(url, m_strPackagePath, SDownloadLimits());
        stopped = guard.StopRequested();
        if (!stopped && size != 0 && !VerifyDownload(url, local, false)) size = 0;
        if (stopped)
            SetLog(LOG_TO_FILE, L"StopEvent:return _STOP");
        else if (size != 0)
            Progress(PROGRESS_TOTAL, 1.0f);
    }
    if (k >= m_vecBasePackURL.size()) {
        m_Result.SetFailureDetail(L"Binaries\\, DATA.dat");
        SetLog(LOG_TO_FILE, L"Error:the installation is incomplete: Binaries\\ or DATA.dat is missing, and "
                            L"PatchCfg\\NewUpdateInfo.xml names no base pack to fill it");
    }
    if (size == 0 || stopped) {
        // A partial download may stay for the next start; an empty folder does not.
        if (!BasePackPath(pack - 1).empty()) RemoveDirectoryW(GetParentDir(BasePackPath(pack - 1)).c_str());
        m_Result.SetOutcome(OUTCOME_BASEPACK_DOWNLOAD_FAILED);
        SetLog(LOG_TO_INFO, L"%s", LocalText(failedText));
        if (!stopped) Notify(WM_RUN_FAILED);
        return;
    }
    m_Result.SetOutcome(OUTCOME_BASEPACK_DOWNLOADED);
    if (pack == 1) {
        SetLog(LOG_TO_FILE, L"BasePack download succeed!");
        SetLog(LOG_TO_FILE, L"DownloadBasePack::End\r\n");
        Notify(WM_UNZIP_BASEPACK1);
    } else {
        SetLog(LOG_TO_FILE, L"BasePack2 download succeed!");
        SetLog(LOG_TO_FILE, L"DownloadBasePack2::End\r\n");
        Notify(WM_UNZIP_BASEPACK2);
    }
}

std::wstring CUpdateEngine::BasePackPath(int index) const
{
    const std::string name = GetBasePackFile(index);
    if (name.empty() || FenceName(name, NAME_PLAIN_FILE) != NAME_OK) return L"";
    return m_strTempDir + L"BasePack\\" + Base::Utility::TextToWide(name);
}

void CUpdateEngine::UnzipBasePack(int pack)
{
    Sleep(500);
    Progress(PROGRESS_TOTAL, 0.0f);
    Progress(PROGRESS_SINGLE, 0.0f);
    SetLog(LOG_TO_INFO, L"%s", LocalText(pack == 1 ? L"UNZIP_BASEPACK_BEGIN1" : L"UNZIP_BASEPACK_BEGIN2"));
    const std::wstring dir = Base::Utility::Utf8ToWide(m_strInstallDir);
    const std::wstring archive = BasePackPath(pack - 1);
    if (archive.empty() || !UnZipFile(archive, dir, true, 0.0f, 1.0f)) {
        m_Result.SetOutcome(OUTCOME_BASEPACK_UNZIP_FAILED);
        SetLog(LOG_TO_INFO, L"%s", LocalText(pack == 1 ? L"UNZIP_BASEPACK_ERROR1" : L"UNZIP_BASEPACK_ERROR2"));
        Notify(WM_RUN_FAILED);
        return;
    }
    Progress(PROGRESS_SINGLE, 1.0f);
    DeleteFileForced(archive);
    RemoveDirectoryW(GetParentDir(archive).c_str());
    SetLog(LOG_TO_INFO, L"%s", LocalText(pack == 1 ? L"UNZIP_BASEPACK_END1" : L"UNZIP_BASEPACK_END2"));
    Progress(PROGRESS_TOTAL, 1.0f);
    m_Result.SetOutcome(OUTCOME_BASEPACK_UNPACKED);
    Notify(WM_CHECK_INSTALL);
}
