// The update log: Tidewell.log in the temp directory, UTF-16LE, one write per
// report, and the status listeners.
#include <cstdio>
#include <cwchar>

#include "UpdateEngine.h"
#include "base/utility/StringTable.h"
#include "base/utility/TextFormat.h"
#include "transfer/Directories.h"

namespace {

const wchar_t kLogName[] = L"Tidewell.log";

const wchar_t* RunModeTag(unsigned mode)
{
    switch (mode) {
    case RUNMODE_GET_ALL_UPDATEINFO: return L"GET_ALL_UPDATEINFO";
    case RUNMODE_AUTO: return L"eAuto_Runing";
    case RUNMODE_MANUAL_PATCH: return L"MANUAL_PATCH";
    case RUNMODE_AUTO_REPAIR: return L"AUTO_REPAIR_CLIENT";
    default: return L"";
    }
}

// A localised tag text may hold characters a file name cannot.
std::wstring FileNameSafe(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t ch : text) {
        if (ch < 0x20 || std::wcschr(L"\\/:*?\"<>|", ch) != nullptr)
            out.push_back(L'_');
        else
            out.push_back(ch);
    }
    return out;
}

}  // namespace

std::wstring CUpdateEngine::GetLogPath() const { return m_strTempDir + kLogName; }

LogSink CUpdateEngine::FileLogSink()
{
    return [this](const std::wstring& line) { SetLog(LOG_TO_FILE, L"%s", line.c_str()); };
}

void CUpdateEngine::WriteLogText(const std::wstring& text)
{
    Base::System::ZLocker guard(m_logLock);
    if (!m_hLogFile) return;
    DWORD written = 0;
    WriteFile(m_hLogFile.Get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
              nullptr);
}

void CUpdateEngine::SetLog(unsigned flags, const wchar_t* pText, ...)
{
    va_list args;
    va_start(args, pText);
    SetLogV(flags, pText, args);
    va_end(args);
}

void CUpdateEngine::SetLogV(unsigned flags, const wchar_t* pText, va_list args)
{
    if (pText == nullptr) {
        if (flags & LOG_TO_FILE) WriteLogText(L"OutputInfo:null\r\n");
        return;
    }
    std::wstring text;
    if (!Base::Utility::FormatTextV(&text, pText, args)) {
        WriteLogText(L"SetLog Error:pText string length==-1\r\n");
        return;
    }

    if (flags & LOG_TO_FILE) {
        text += L"\r\n";
        WriteLogText(text);
        if (m_FileLogEcho) m_FileLogEcho(text.c_str());
    }
    if (flags & LOG_TO_INFO) {
        for (InfoOutputFunCallback listener : m_vecInfoOutput) listener(text.c_str());
    }
}

bool CUpdateEngine::InitLogSystem()
{
    {
        Base::System::ZLocker guard(m_logLock);
        if (!m_hLogFile) {
            MakeDirectories(m_strTempDir);
            // Shared for deleting, so the log can be renamed even while open.
            // A new process starts a new log; a later run of the same process
            // appends, so that nothing an earlier run kept is lost.
            m_hLogFile.Reset(CreateFileW(GetLogPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                         nullptr, m_bLogStarted ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                         nullptr));
            if (m_hLogFile) {
                m_bLogStarted = true;
                LARGE_INTEGER size = {};
                GetFileSizeEx(m_hLogFile.Get(), &size);
                if (size.QuadPart == 0) {
                    const wchar_t bom = 0xFEFF;
                    DWORD written = 0;
                    WriteFile(m_hLogFile.Get(), &bom, sizeof bom, &written, nullptr);
                } else {
                    SetFilePointer(m_hLogFile.Get(), 0, nullptr, FILE_END);
                }
            }
        }
    }
    SYSTEMTIME t;
    GetLocalTime(&t);
    SetLog(LOG_TO_FILE, L"Update Modual Log system Init Succeed!%u.%u.%u %u:%u:%u\r\n-------------------\r\n",
           t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    m_nRunMode = RUNMODE_AUTO;
    m_nFinished = 0;
    return true;
}

void CUpdateEngine::CloseLog(bool keepLog)
{
    if (!IsLogOpen()) return;
    SetLog(LOG_TO_FILE, L"close log,ExitReason:%u-%u", m_nFinished, m_nRunMode);
    {
        Base::System::ZLocker guard(m_logLock);
        m_hLogFile.Reset();
    }
    if (m_nFinished != 0 || keepLog) return;

    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t stamp[64];
    std::swprintf(stamp, 64, L"%u.%u.%u_%uh%um%us", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    const std::wstring base = m_strTempDir + FileNameSafe(LocalText(RunModeTag(m_nRunMode))) + stamp;
    // Two failures within one second must not lose the first log.
    std::wstring target = base + L".err";
    for (int n = 2; n < 100 && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES; ++n)
        target = base + L"_" + std::to_wstring(n) + L".err";
    MoveFileW(GetLogPath().c_str(), target.c_str());
}
