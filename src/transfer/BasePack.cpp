// Filling an empty installation from the two base packs.
#include "app/StringTable.h"
#include "base/utility/StrConv.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

void CUpdateEngine::DownloadBasePack(int pack)
{
    Sleep(500);
    const size_t k = static_cast<size_t>(pack - 1);
    SetLog(LOG_TO_FILE, pack == 1 ? L"DownloadBasePack1::Begin" : L"DownloadBasePack2::Begin");
    if (k >= m_vecBasePackURL.size() || k >= m_vecBasePackFile.size()) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(pack == 1 ? L"UNZIP_BASEPACK1_DOWNLOADFAILED" : L"UNZIP_BASEPACK2_DOWNLOADFAILED"));
        return;
    }
    std::string url = m_vecBasePackURL[k];
    for (char& c : url)
        if (c == '\\') c = '/';
    const std::string local = m_strInstallDir + m_vecBasePackFile[k];
    m_strPackagePath = local;

    // A stop request ends this download too.
    if (m_hStopEvent) ResetEvent(m_hStopEvent.Get());
    m_bCancelTransfer = false;
    m_bDownloadDone = false;
    std::uint32_t size = 0;
    for (int attempt = 0; attempt < 4 && size == 0 && !m_bCancelTransfer; ++attempt)
        size = DownloadOneFile(url, false, "", "", "", local, true);
    if (size == 0 || m_bCancelTransfer) {
        if (m_bCancelTransfer) SetLog(LOG_TO_FILE, L"StopEvent:return _STOP");
        m_bDownloadDone = true;
        if (m_hStopEvent) SetEvent(m_hStopEvent.Get());
        SetLog(LOG_TO_INFO, L"%s", LocalText(pack == 1 ? L"UNZIP_BASEPACK1_DOWNLOADFAILED" : L"UNZIP_BASEPACK2_DOWNLOADFAILED"));
        return;
    }
    Progress(8, 1.0f);
    m_bDownloadDone = true;
    if (m_hStopEvent) SetEvent(m_hStopEvent.Get());
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

void CUpdateEngine::UnzipBasePack(int pack)
{
    Sleep(500);
    const size_t k = static_cast<size_t>(pack - 1);
    Progress(8, 0.0f);
    Progress(4, 0.0f);
    SetLog(LOG_TO_INFO, L"%s", LocalText(pack == 1 ? L"UNZIP_BASEPACK_BEGIN1" : L"UNZIP_BASEPACK_BEGIN2"));
    const std::wstring dir = Base::Utility::AnsiToWide(m_strInstallDir);
    const std::wstring archive = k < m_vecBasePackFile.size() ? dir + Base::Utility::AnsiToWide(m_vecBasePackFile[k]) : L"";
    if (archive.empty() || !UnZipFile(archive, dir, true, 0.0f, 1.0f)) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(pack == 1 ? L"UNZIP_BASEPACK_ERROR1" : L"UNZIP_BASEPACK_ERROR2"));
        return;
    }
    Progress(4, 1.0f);
    SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(archive.c_str());
    SetLog(LOG_TO_INFO, L"%s", LocalText(pack == 1 ? L"UNZIP_BASEPACK_END1" : L"UNZIP_BASEPACK_END2"));
    Progress(8, 1.0f);
    Notify(WM_CHECK_INSTALL);
}
