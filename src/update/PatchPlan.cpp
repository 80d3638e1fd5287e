// The target of a run and the package that leads there.
#include "UpdateEngine.h"
#include "base/utility/StringTable.h"
#include "transfer/RevisionXml.h"
#include "transfer/Version.h"

void CUpdateEngine::PreparePlan(const SPatchServer& server, bool bTelecom)
{
    RevisionTable().Load("PatchCfg\\Revision.xml", FileLogSink());
    m_strServerVersion = server.Version;
    m_strPatchBaseURL = (bTelecom ? server.url : server.unicomurl) + server.Xmlfiledir;
    m_Route.SetFailover({});
    for (const SPatchServer& other : m_vecPatchServer) {
        const std::string line = bTelecom ? other.url : other.unicomurl;
        if (other.Version != server.Version || line.empty()) continue;
        const std::string base = line + other.Xmlfiledir;
        if (base != m_strPatchBaseURL) m_Route.AddFailover(base);
    }
    const std::string client = GetLocalVersionStr();
    // A fresh plan: a package found for an earlier run must not be fetched again.
    m_Plan = SRevision();
    m_Plan.prevversion = client;
    m_Plan.interversion = m_strServerVersion;
    if (VersionLess(client, m_strServerVersion))
        RevisionTable().FindUpgrade(m_Plan);
    else
        RevisionTable().FindDegrade(m_Plan);
}

EStepResult CUpdateEngine::DownLoadParseCmpFile()
{
    SetLog(LOG_TO_INFO, L"%s", LocalText(L"DWONLOAD_PARSE_CMPFILE"));
    SetLog(LOG_TO_FILE, L"\r\nDownLoadParseCmpFile:begin\r\n-------------------------");
    const std::string local = GetLocalVersionStr();
    if (local.empty()) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(L"GET_CLIENTVER_ERROR"));
        SetLog(LOG_TO_FILE, L"-------------------------\r\nGetLocalVersionStr:End failed return null\r\n");
        return STEP_FAILED;
    }
    if (local == m_strServerVersion) {
        SetLog(LOG_TO_FILE, L"Client version is equal to server version");
        return STEP_EQUAL_VERSIONS;
    }
    return STEP_SUCCEEDED;
}
