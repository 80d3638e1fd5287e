// Signatures of downloads: FILE.minisig fetched from beside FILE and checked
// against the trusted keys before the file is unpacked, installed or read.
#include <ctime>

#include <tinyxml.h>

#include "UpdateEngine.h"
#include "base/utility/StrConv.h"
#include "transfer/Blake2bFile.h"
#include "transfer/Directories.h"

using Base::Utility::AnsiToWide;

namespace {

// The .minisig as bytes, within its bound; false when it cannot be read.
bool ReadSmallFile(const std::wstring& path, std::string* out)
{
    Base::Utility::CFileHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    out->assign(kMaxMinisigBytes + 1, '\0');
    DWORD got = 0;
    if (!ReadFile(file.Get(), &(*out)[0], static_cast<DWORD>(out->size()), &got, nullptr)) return false;
    out->resize(got);
    return true;
}

}  // namespace

bool CUpdateEngine::VerifyDownload(const std::string& url, const std::wstring& localFile, bool updateInfo, bool fresh,
                                   std::string* comment)
{
    if (!m_Signatures.Enabled()) return true;
    const size_t slash = url.rfind('/');
    const std::string name = slash == std::string::npos ? url : url.substr(slash + 1);
    // One fixed name: the address's last piece may be anything the server wrote.
    const std::wstring sigPath = m_strTempDir + L"download.minisig";
    SDownloadLimits limits;
    limits.maxSize = kMaxMinisigBytes;
    EDownloadResult code = DOWNLOAD_REQUEST_FAILED;
    std::string bytes;
    // An empty body is a download of size 0 but a signature file all the same.
    DownloadOneFile(url + ".minisig", false, "", "", "", Base::Utility::WideToUtf8(sigPath), false, limits, &code);
    const bool fetched = code == DOWNLOAD_OK && ReadSmallFile(sigPath, &bytes);
    DeleteFileForced(sigPath);
    // An oversized one is a bound fault already; it is also unverified.
    const wchar_t* missing = code == DOWNLOAD_TOO_LARGE ? L"signature file too large" : L"no signature file";
    if (CheckSignature(fetched ? &bytes : nullptr, missing, localFile, name, updateInfo, AnsiToWide(url), fresh, comment))
        return true;
    // Nothing unverified stays to be used later.
    DeleteFileForced(localFile);
    return false;
}

bool CUpdateEngine::VerifyLocalPackage(const std::wstring& package)
{
    if (!m_Signatures.Enabled()) return true;
    // The signature of a hand-opened package lies beside it and names it:
    // another file's signature, or the file under another name, is refused.
    const size_t slash = package.find_last_of(L"\\/");
    const std::string name = Base::Utility::WideToUtf8(package.substr(slash == std::wstring::npos ? 0 : slash + 1));
    std::string bytes;
    const bool read = ReadSmallFile(package + L".minisig", &bytes) && bytes.size() <= kMaxMinisigBytes;
    return CheckSignature(read ? &bytes : nullptr, L"no signature file beside it", package, name, false, package);
}

bool CUpdateEngine::CheckSignature(const std::string* sigBytes, const wchar_t* missing, const std::wstring& file,
                                   const std::string& name, bool updateInfo, const std::wstring& label, bool fresh,
                                   std::string* comment)
{
    auto refuse = [&](const wchar_t* why) {
        SetLog(LOG_TO_FILE, L"Error:signature refused: %s: %s", label.c_str(), why);
        Fault(FAULT_UNVERIFIED);
        return false;
    };
    if (sigBytes == nullptr) return refuse(missing);
    SMinisig sig;
    EMinisigResult result = ReadMinisig(sigBytes->data(), sigBytes->size(), &sig);
    unsigned char digest[kMinisignDigestBytes];
    if (result == MINISIG_OK && !InetDownload.DigestsOf(file, nullptr, digest) && !ComputeFileBlake2b(file, digest))
        return refuse(L"the file cannot be read");
    if (result == MINISIG_OK) result = VerifyMinisig(sig, m_Signatures.Keys(), digest);
    std::uint64_t timestamp = 0;
    if (result == MINISIG_OK)
        result = CheckTrustedComment(sig.trustedComment, name, updateInfo,
                                     m_Signatures.AcceptedTimestamp(), &timestamp);
    if (result != MINISIG_OK) return refuse(AnsiToWide(MinisigResultText(result)).c_str());
    std::uint64_t sequence = 0;
    if (updateInfo || fresh) {
        result = CheckFreshness(sig.trustedComment, m_Signatures.AcceptedSequence(), static_cast<std::uint64_t>(time(nullptr)), &sequence);
        if (result != MINISIG_OK) {
            SetLog(LOG_TO_FILE, L"Error:stale: %s: %s (%s)", label.c_str(), AnsiToWide(MinisigResultText(result)).c_str(),
                   AnsiToWide(sig.trustedComment).c_str());
            Fault(FAULT_STALE);
            return false;
        }
    }
    if (updateInfo) m_Signatures.SetPending(timestamp, sequence);
    if (comment) *comment = sig.trustedComment;
    SetLog(LOG_TO_FILE, L"signature verified: %s (key %s, %s)", Base::Utility::Utf8ToWide(name).c_str(),
           AnsiToWide(MinisignKeyIdText(sig.keyId)).c_str(), AnsiToWide(sig.trustedComment).c_str());
    return true;
}

bool CUpdateEngine::SaveInfoTimestamp()
{
    if (!m_Signatures.Enabled() || !m_Signatures.PendingIsNewer()) return true;
    TiXmlElement* root = m_docUpdateCfg.FirstChildElement("Root");
    TiXmlElement* keys = root ? root->FirstChildElement("TrustedKeys") : nullptr;
    if (keys == nullptr) return false;
    keys->SetAttribute(g_bTestServer ? "QaInfoTimestamp" : "InfoTimestamp",
                       std::to_string(m_Signatures.NewTimestamp()).c_str());
    keys->SetAttribute(g_bTestServer ? "QaSequence" : "Sequence", std::to_string(m_Signatures.NewSequence()).c_str());
    if (!SaveLocalConfig()) {
        SetLog(LOG_TO_FILE, L"Error:the time of the accepted update information cannot be saved");
        return false;
    }
    m_Signatures.AcceptPending();
    return true;
}
