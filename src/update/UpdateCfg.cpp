// The local update configuration PatchCfg\NewUpdateCfg.xml and the parts of
// the local PatchCfg\NewUpdateInfo.xml read at initialisation.
#include "UpdateCfgRecord.h"
#include "UpdateEngine.h"
#include "base/utility/MessageBox.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "base/utility/XmlLoad.h"
#include "base/utility/XmlSave.h"
#include "base/utility/XmlText.h"

using Base::Utility::AnsiToWide;

namespace {

const char kUpdateCfgPath[] = "PatchCfg\\NewUpdateCfg.xml";
const char kLocalUpdateInfoPath[] = "PatchCfg\\NewUpdateInfo.xml";

}  // namespace

bool CUpdateEngine::initBasic()
{
    if (!ParseUpdateCfg(kUpdateCfgPath)) {
        ShowMessageBox(m_hWnd, LocalText(L"ePath_init_fail"), LocalText(L"ePath_Error"), MB_ICONERROR);
        SetLog(LOG_TO_FILE,
               L"ParseUpdateCfg(\"PatchCfg\\NewUpdateCfg.xml\") function return false, update modual "
               L"initBasic() failed!");
        return false;
    }
    ParseLocalUpdateInfo(kLocalUpdateInfoPath);
    return true;
}

// The configuration's bounds, stall rule, rate limit and proxy, under what a
// caller put over them.
bool CUpdateEngine::ApplyTransferSettings(const SUpdateCfgRecord& r)
{
    InetDownload.SetUnsizedCap(r.maxUnsizedBytes);
    InetDownload.SetMinRate(r.minRateKiB * 1024);
    InetDownload.SetStallRule(m_Transfer.StallMs(r.stallSeconds * 1000), CINetDownLoad::kDefaultStallBytes);
    InetDownload.SetRateLimit(m_Transfer.RateLimitKiB(r.rateLimitKiB) * 1024);
    SProxy proxy;
    std::wstring why;
    const std::wstring proxyText = m_Transfer.ProxyText(Base::Utility::Utf8ToWide(r.proxy));
    if (!ParseProxy(proxyText, &proxy, &why)) {
        SetLog(LOG_TO_FILE, L"Error:proxy %s refused: %s", ProxyForLog(proxyText).c_str(), why.c_str());
        return false;
    }
    if (proxy.mode != InetDownload.Proxy().mode || proxy.host != InetDownload.Proxy().host ||
        proxy.port != InetDownload.Proxy().port || proxy.user != InetDownload.Proxy().user ||
        proxy.password != InetDownload.Proxy().password) {
        InetDownload.SetProxy(proxy);
        if (!InetDownload.Init()) return false;
    }
    if (proxy.mode == SProxy::EXPLICIT)
        SetLog(LOG_TO_FILE, L"proxy: %s:%u%s", proxy.host.c_str(), proxy.port, proxy.user.empty() ? L"" : L" (with a user)");
    return true;
}

bool CUpdateEngine::ParseUpdateCfg(const char* pPath)
{
    // The nodes belong to the document about to be reloaded.
    m_pLastVersionNode = m_pCurVersionNode = m_pClientVerNode = m_pDownloadedFileVersionNode = nullptr;
    m_strUpdateCfgPath = pPath;
    m_bUpdateCfgLoaded = false;
    // A re-read describes the file as it is now and does not repeat addresses.
    m_strLastVersion.clear();
    m_strCurVersion.clear();
    m_strClientVer.clear();
    m_strDownloadedFileVersion.clear();
    m_strNormalURL.clear();
    m_strTestUpdateURL.clear();
    m_strTestRollbackURL.clear();
    m_vecUpdateInfoURL.clear();
    m_Signatures.Reset();

    if (!LoadBoundedXml(m_docUpdateCfg, pPath)) return false;
    SUpdateCfgRecord r;
    const EUpdateCfgResult result = ReadUpdateCfgRecord(m_docUpdateCfg, m_bInternetUpdate, &r);
    m_pLastVersionNode = r.lastVersionNode;
    m_pCurVersionNode = r.curVersionNode;
    m_pClientVerNode = r.clientVerNode;
    m_pDownloadedFileVersionNode = r.downloadedFileVersionNode;
    m_strLastVersion = r.lastVersion;
    m_strCurVersion = r.curVersion;
    m_strClientVer = r.clientVer;
    m_strDownloadedFileVersion = r.downloadedFileVersion;
    m_strNormalURL = r.normalURL;
    m_strTestUpdateURL = r.testUpdateURL;
    m_strTestRollbackURL = r.testRollbackURL;
    m_vecUpdateInfoURL = r.infoUrls;
    // A keys section turns verification on, whatever else it holds.
    m_Signatures.Configure(r.hasKeysSection, r.infoTimestamp, r.qaInfoTimestamp, r.sequence, r.qaSequence);
    for (size_t i = 0; i < r.trustedKeys.size(); ++i) {
        SMinisignKey key;
        if (!ParseMinisignPublicKey(r.trustedKeys[i], &key)) {
            SetLog(LOG_TO_FILE, L"Error:TrustedKeys: key %u is not a minisign public key: nothing is updated until "
                                L"%s is mended", static_cast<unsigned>(i + 1), AnsiToWide(pPath).c_str());
            Fault(FAULT_BAD_KEYS);
            return false;
        }
        m_Signatures.AddKey(key);
    }
    if (!ApplyTransferSettings(r)) return false;
    switch (result) {
    case UPDATECFG_NO_ROOT: SetLog(LOG_TO_FILE, L"Error:Cannot find \"Root\" Node"); return false;
    case UPDATECFG_NO_DOWNLOADED_VERSION:
        SetLog(LOG_TO_FILE, L"Error:Cannot find \"DownloadedFileVersion\" Node");
        return false;
    case UPDATECFG_NO_RDTEST: SetLog(LOG_TO_FILE, L"Error:Cannot find \"RDTest\" Node"); return false;
    case UPDATECFG_NO_URL: SetLog(LOG_TO_FILE, L"Error:Cannot find \"Netcom UpdateInfoURL\" Node"); return false;
    case UPDATECFG_TOO_MANY_URLS:
        BoundExceeded(AnsiToWide(pPath), "more than " + std::to_string(kMaxUpdateInfoUrls) + " addresses");
        return false;
    case UPDATECFG_TOO_MANY_KEYS:
        BoundExceeded(AnsiToWide(pPath), "more than " + std::to_string(kMaxTrustedKeys) + " trusted keys");
        return false;
    case UPDATECFG_BAD_KEYS:
        SetLog(LOG_TO_FILE, L"Error:TrustedKeys: %s in %s: nothing is updated until it is mended",
               AnsiToWide(r.keysProblem).c_str(), AnsiToWide(pPath).c_str());
        Fault(FAULT_BAD_KEYS);
        return false;
    case UPDATECFG_NO_VERSION:
    case UPDATECFG_NO_MANUAL_URL:
    case UPDATECFG_NO_HOLDER: return false;
    case UPDATECFG_OK: break;
    }
    m_bUpdateCfgLoaded = true;
    return true;
}

bool CUpdateEngine::ParseLocalUpdateInfo(const char* pPath)
{
    // What a missing or broken file leaves: no base packs, no link server.
    m_vecBasePackURL.clear();
    m_vecBasePackFile.clear();
    m_strLinkServerIP.clear();
    m_vecLinkServerPort.clear();

    SUpdateInfoRecord r;
    if (!LoadUpdateInfoRecord(pPath, &r)) return false;
    if (r.hasInternetUpdate2 && r.infoUrls.empty())
        SetLog(LOG_TO_FILE, L"Error:Cannot find \"Netcom UpdateInfoURL\" Node");
    m_vecUpdateInfoURL.insert(m_vecUpdateInfoURL.end(), r.infoUrls.begin(), r.infoUrls.end());
    m_vecBasePackURL = r.basePackUrls;
    m_vecBasePackFile = r.basePackFiles;
    if (m_vecBasePackURL.size() != 2 || m_vecBasePackFile.size() != 2) {
        SetLog(LOG_TO_FILE, L"Error:Loadfile:%s, basefile need 2 ", AnsiToWide(pPath).c_str());
        return false;
    }
    m_strLinkServerIP = r.linkIp;
    m_vecLinkServerPort = r.linkPorts;
    return true;
}

bool CUpdateEngine::LoadBoundedXml(TiXmlDocument& doc, const char* pPath)
{
    std::string refused;
    if (LoadXmlDocument(doc, pPath, TIXML_ENCODING_UNKNOWN, &refused)) return true;
    const DWORD error = GetLastError();
    if (!refused.empty()) BoundExceeded(AnsiToWide(pPath), refused);
    SetLog(LOG_TO_FILE, L"Error:Loadfile:%s,ErrorCode:%u", AnsiToWide(pPath).c_str(), error);
    return false;
}

bool CUpdateEngine::LoadUpdateInfoRecord(const char* pPath, SUpdateInfoRecord* r)
{
    TiXmlDocument doc;
    if (!LoadBoundedXml(doc, pPath)) return false;
    switch (ReadUpdateInfoRecord(doc, r)) {
    case UPDATEINFO_NO_ROOT: return false;
    case UPDATEINFO_TOO_MANY_SERVERS:
    case UPDATEINFO_TOO_MANY_URLS:
        BoundExceeded(AnsiToWide(pPath), "more than " + std::to_string(kMaxPatchServers) + " servers or " +
                                             std::to_string(kMaxUpdateInfoUrls) + " addresses");
        return false;
    case UPDATEINFO_OK: break;
    }
    return true;
}

void CUpdateEngine::BoundExceeded(const std::wstring& what, const std::string& why)
{
    SetLog(LOG_TO_FILE, L"Error:bound exceeded: %s %s", what.c_str(), AnsiToWide(why).c_str());
    Fault(FAULT_BOUND_EXCEEDED);
}

bool CUpdateEngine::SaveLocalConfig()
{
    // A document that did not load completely would overwrite the file with less.
    if (!m_bUpdateCfgLoaded) return false;
    // Saved plain under the name asked for: the plain file is read first at the
    // next start, also when this one came from the scrambled sibling.
    if (!SaveXmlDocument(m_docUpdateCfg, m_strUpdateCfgPath)) return false;
    m_docUpdateCfg.SetValue(m_strUpdateCfgPath.c_str());
    return true;
}

bool CUpdateEngine::SaveVersions(const std::string& newVersion)
{
    if (!m_bUpdateCfgLoaded) return false;
    if (m_pLastVersionNode) m_pLastVersionNode->SetValue(m_strCurVersion.c_str());
    if (m_pCurVersionNode) m_pCurVersionNode->SetValue(newVersion.c_str());
    if (m_pClientVerNode) m_pClientVerNode->SetValue(newVersion.c_str());
    if (m_pDownloadedFileVersionNode)
        m_pDownloadedFileVersionNode->SetValue(m_strDownloadedFileVersion.c_str());
    if (!SaveLocalConfig()) return false;
    m_strLastVersion = m_strCurVersion;
    m_strCurVersion = newVersion;
    m_strClientVer = newVersion;
    return true;
}
