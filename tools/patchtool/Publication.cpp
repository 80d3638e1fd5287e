#include "Publication.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <tinyxml.h>
#include <unzip.h>

#include "PackageInfo.h"
#include "Progress.h"
#include "RevisionRecord.h"
#include "Signer.h"
#include "TreeDiff.h"
#include "Utf8File.h"
#include "ZipWriter.h"
#include "base/utility/PathText.h"
#include "base/utility/Utf8.h"
#include "base/utility/XmlLoad.h"
#include "transfer/ByteSource.h"
#include "transfer/Minisign.h"
#include "transfer/PathFence.h"
#include "transfer/RevisionRecords.h"
#include "transfer/ZipRangeIo.h"
#include "update/UpdateInfoRecord.h"

namespace fs = std::filesystem;

const char kDescriptionHelp[] =
    "description lines (# starts a comment; paths are relative to the description):\n"
    "  latest VERSION\n"
    "  server url=URL [unicomurl=URL] [dir=DIR/] version=VERSION [port=P] [maxsize=N] [clientdir=D]\n"
    "  step PREV INTER [upgrade=PACKAGE] [degrade=PACKAGE] [upgradedelta=PACKAGE] [degradedelta=PACKAGE]\n"
    "                               (a delta package, pack --delta, beside the whole-file one)\n"
    "  infourl URL                  (more addresses of the update information)\n"
    "  basepack1 URL FILENAME       and  basepack2 URL FILENAME\n"
    "  link IP PORTS                (PORTS separated by ';')\n"
    "  file NAME PATH               (ServerList.xml, DownloadServer.xml or GameCfg.ini)\n"
    "  tree VERSION DIR             (the version's whole tree: its manifest and chunks go\n"
    "                               to the chunk store, store/, from which any version\n"
    "                               updates to it in one step, and installations are\n"
    "                               verified and repaired)\n";

const char kStoreDir[] = "store";

namespace {

std::map<std::string, std::string> KeyValues(std::istringstream& in, std::string* error)
{
    std::map<std::string, std::string> kv;
    for (std::string word; in >> word;) {
        const size_t eq = word.find('=');
        if (eq == std::string::npos || eq == 0) {
            *error = "expected key=value, not " + word;
            return kv;
        }
        kv[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return kv;
}

bool SevenDigits(const std::string& v)
{
    return v.size() == 7 && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool HttpUrl(const std::string& url)
{
    const std::string lower = Base::Utility::AsciiLower(url);
    for (const char* scheme : {"http://", "https://"}) {
        const std::string s(scheme);
        if (lower.compare(0, s.size(), s) != 0) continue;
        const std::string rest = lower.substr(s.size());
        const size_t end = rest.find_first_of("/?#");
        const std::string host = rest.substr(0, end);
        // A host of at least two characters, and no blank anywhere.
        return host.size() >= 2 && host.find(' ') == std::string::npos && url.find(' ') == std::string::npos &&
               host[0] != ':' && host[0] != '.';
    }
    return false;
}

std::wstring Wide(const std::string& utf8)
{
    std::wstring w;
    if (!Base::Utility::Utf16FromUtf8(utf8, &w)) w = L"\x01";  // refused by the fence
    return w;
}

std::string Narrow(const std::wstring& w) { return Base::Utility::Utf8FromUtf16(w); }

bool ReadFileBytes(const fs::path& path, std::string* out, std::uint64_t limit)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return out->size() <= limit;
}

// The named entries of a zip held in memory.
bool ZipEntries(const std::string& bytes, std::map<std::string, std::string>* entries)
{
    CMemoryByteSource src(bytes.data(), bytes.size());
    SZipRange range = {&src, 0, bytes.size()};
    zlib_filefunc64_def funcs;
    FillZipRangeFuncs(&funcs);
    unzFile z = unzOpen2_64(&range, &funcs);
    if (!z) return false;
    bool ok = true;
    for (int r = unzGoToFirstFile(z); ok && r == UNZ_OK; r = unzGoToNextFile(z)) {
        unz_file_info64 info;
        char name[512];
        ok = unzGetCurrentFileInfo64(z, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK &&
             info.uncompressed_size <= kMaxXmlBytes && unzOpenCurrentFile(z) == UNZ_OK;
        if (!ok) break;
        std::string data(static_cast<size_t>(info.uncompressed_size), '\0');
        ok = unzReadCurrentFile(z, &data[0], static_cast<unsigned>(data.size())) == static_cast<int>(data.size()) &&
             unzCloseCurrentFile(z) == UNZ_OK;
        (*entries)[name] = data;
    }
    unzClose(z);
    return ok;
}

SPackageRef Listed(const fs::path& dir, const SPackageFile& p, bool delta)
{
    SPackageRef ref;
    const std::string name = delta ? p.deltaFilename : p.filename;
    if (name.empty()) return ref;
    ref.path = (dir / fs::u8path(name)).u8string();
    ref.listed = delta ? p.hasDeltaSize : p.hasSize;
    ref.size = delta ? p.deltaSize : p.size;
    ref.md5 = Base::Utility::AsciiLower(delta ? p.deltaChecksum : p.checksum);
    return ref;
}

// Problems of one package of a step: its name, its contents, its versions.
void CheckPackage(const SStep& s, const SPackageRef& p, bool upgrade, bool delta, std::vector<std::string>* problems)
{
    if (p.empty()) return;
    const std::string name = ServedName(p.path);
    const std::string where = "step " + s.prev + " -> " + s.inter + ", " + (upgrade ? "upgrade" : "degrade") +
                              (delta ? " delta" : "") + " package " + name + ": ";
    auto problem = [&](const std::string& why) { problems->push_back(where + why); };
    const ENameVerdict verdict = FenceName(name, NAME_PLAIN_FILE);
    if (verdict != NAME_OK) problem("a name the launcher refuses (" + Narrow(NameVerdictText(verdict)) + ")");
    if (IsEngineTempName(name)) problem("the name of a file of the launcher's own");
    std::error_code ec;
    if (!fs::is_regular_file(fs::u8path(p.path), ec)) return problem("missing (" + p.path + ")");
    if (p.listed) {
        std::uint64_t size = 0;
        const std::string md5 = Md5OfFile(p.path, &size);
        if (size != p.size) problem("the table lists " + std::to_string(p.size) + " bytes, the file has " + std::to_string(size));
        if (!p.md5.empty() && md5 != p.md5) problem("the table lists MD5 " + p.md5 + ", the file has " + md5);
    }
    SPackageInfo info;
    std::string why;
    if (!ReadPackageInfo(p.path, &info, &why)) return problem(why);
    const std::string from = upgrade ? s.prev : s.inter, to = upgrade ? s.inter : s.prev;
    if (info.list.from != from || info.list.internal != to)
        problem("it goes from " + info.list.from + " to " + info.list.internal + ", the step from " + from + " to " + to);
    if (delta && info.list.installer != "1.1.0") problem("not a delta package (pack --delta)");
    if (info.undecodable) problem("an entry's name is flagged UTF-8 and is not");
    SNameRefusal refusal;
    if (!CheckNames(info.names, NAME_RELATIVE_PATH, &refusal))
        problem("entry " + Narrow(refusal.name) + ": " + Narrow(refusal.why));
    for (const SFileListRecord& r : info.list.items) {
        const std::wstring path = info.list.utf8 ? Wide(r.path) : Wide(r.path);
        const ENameVerdict v = FenceName(path, NAME_PACKAGE_TARGET);
        if (v != NAME_OK) problem("file list path " + r.path + ": " + Narrow(NameVerdictText(v)));
    }
}

// The trees of the chunk store: each version once, each a folder whose
// names the launcher would take, the latest among them.
void CheckTrees(const SDescription& d, std::vector<std::string>* problems)
{
    std::set<std::string> seen;
    bool latest = false;
    for (const SChunkTree& t : d.trees) {
        const std::string where = "tree " + t.version;
        if (!SevenDigits(t.version)) problems->push_back(where + ": version '" + t.version + "' is not seven digits");
        if (!seen.insert(t.version).second) problems->push_back(where + ": given twice");
        latest = latest || t.version == d.latest;
        std::error_code ec;
        if (!fs::is_directory(fs::u8path(t.dir), ec)) {
            problems->push_back(where + ": no folder " + t.dir);
            continue;
        }
        std::vector<std::wstring> names;
        const fs::path root = fs::u8path(t.dir);
        for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it); it.increment(ec))
            if (!it->is_symlink(ec) && it->is_regular_file(ec))
                names.push_back(Wide(Base::Utility::WithBackslashes(it->path().lexically_relative(root).generic_u8string())));
        SNameRefusal refusal;
        if (!CheckNames(names, NAME_PACKAGE_TARGET, &refusal))
            problems->push_back(where + ": " + Narrow(refusal.name) + ": " + Narrow(refusal.why));
    }
    if (!d.trees.empty() && !latest)
        problems->push_back("tree lines give no tree of the latest version, " + d.latest +
                            ": players could not update through the chunk store");
}

}  // namespace

std::string ServedName(const std::string& packagePath)
{
    return Base::Utility::AsciiLower(fs::u8path(packagePath).filename().u8string());
}

bool ReadDescription(const std::string& path, SDescription* d, std::string* error)
{
    std::ifstream in(fs::u8path(path));
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    const fs::path base = fs::u8path(path).parent_path();
    auto resolve = [&](const std::string& p) {
        SPackageRef ref;
        if (!p.empty()) ref.path = (base / fs::u8path(p)).u8string();
        return ref;
    };
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string key;
        if (!(words >> key)) continue;
        std::string e;
        if (key == "latest") {
            words >> d->latest;
        } else if (key == "server") {
            auto kv = KeyValues(words, &e);
            if (e.empty() && (kv["url"].empty() || kv["version"].empty())) e = "a server needs url= and version=";
            d->servers.push_back(kv);
        } else if (key == "step") {
            SStep s;
            words >> s.prev >> s.inter;
            auto kv = KeyValues(words, &e);
            s.upgrade = resolve(kv["upgrade"]);
            s.degrade = resolve(kv["degrade"]);
            s.upgradeDelta = resolve(kv["upgradedelta"]);
            s.degradeDelta = resolve(kv["degradedelta"]);
            if (e.empty() && (s.inter.empty() || (s.upgrade.empty() && s.degrade.empty())))
                e = "a step needs PREV INTER and a package";
            d->steps.push_back(s);
        } else if (key == "infourl") {
            std::string url;
            words >> url;
            d->infoUrls.push_back(url);
        } else if (key == "basepack1" || key == "basepack2") {
            const int k = key == "basepack1" ? 0 : 1;
            words >> d->basepack[k][0] >> d->basepack[k][1];
        } else if (key == "link") {
            words >> d->linkIp >> d->linkPorts;
        } else if (key == "tree") {
            SChunkTree t;
            std::string dir;
            words >> t.version >> dir;
            if (t.version.empty() || dir.empty()) e = "a tree needs VERSION DIR";
            t.dir = resolve(dir).path;
            d->trees.push_back(t);
        } else if (key == "file") {
            std::string name, p;
            words >> name >> p;
            if (name != "ServerList.xml" && name != "DownloadServer.xml" && name != "GameCfg.ini")
                e = "the update information carries no file named " + name;
            d->files.emplace_back(name, resolve(p).path);
        } else {
            e = "unknown line " + key;
        }
        if (!e.empty()) {
            *error = path + ":" + std::to_string(number) + ": " + e;
            return false;
        }
    }
    if (d->latest.empty()) {
        *error = path + ": no 'latest' line";
        return false;
    }
    return true;
}

bool ReadPublished(const std::string& dir, bool qa, SDescription* d, std::string* error)
{
    *d = SDescription();
    const fs::path root = fs::u8path(dir);
    const fs::path archive = root / (qa ? "newupdateinfo_qa.zip" : "newupdateinfo.zip");
    std::string bytes;
    std::map<std::string, std::string> entries;
    if (!ReadFileBytes(archive, &bytes, 16u << 20) || !ZipEntries(bytes, &entries)) {
        *error = "no readable " + archive.u8string();
        return false;
    }
    TiXmlDocument info, revision;
    SUpdateInfoRecord r;
    std::vector<SRevision> records;
    if (!entries.count("NewUpdateInfo.xml") || !ParseXmlBytes(info, entries["NewUpdateInfo.xml"], false, TIXML_ENCODING_UNKNOWN) ||
        ReadUpdateInfoRecord(info, &r) != UPDATEINFO_OK || !entries.count("Revision.xml") ||
        !ParseXmlBytes(revision, entries["Revision.xml"], false, TIXML_ENCODING_UNKNOWN) ||
        ReadRevisionRecords(revision, &records) != REVISION_OK) {
        *error = archive.u8string() + " holds no readable NewUpdateInfo.xml and Revision.xml";
        return false;
    }
    d->latest = r.latestVersion;
    for (const SPatchServer& s : r.servers)
        d->servers.push_back({{"version", s.Version}, {"url", s.url}, {"unicomurl", s.unicomurl}, {"dir", s.Xmlfiledir},
                              {"port", s.port}, {"clientdir", s.Clientdir}, {"maxsize", std::to_string(s.maxsize)}});
    d->infoUrls = r.infoUrls;
    d->chunkStore = !r.chunkStoreDir.empty();
    for (size_t k = 0; k < 2 && k < r.basePackUrls.size(); ++k) {
        d->basepack[k][0] = r.basePackUrls[k];
        d->basepack[k][1] = k < r.basePackFiles.size() ? r.basePackFiles[k] : "";
    }
    const fs::path packages = root / fs::u8path(d->servers.empty() ? "" : d->servers[0]["dir"]);
    for (const SRevision& rec : records) {
        SStep s;
        s.prev = rec.prevversion;
        s.inter = rec.interversion;
        s.upgrade = Listed(packages, rec.upgrade, false);
        s.upgradeDelta = Listed(packages, rec.upgrade, true);
        s.degrade = Listed(packages, rec.degrade, false);
        s.degradeDelta = Listed(packages, rec.degrade, true);
        d->steps.push_back(s);
    }
    return true;
}

std::vector<std::string> CheckRelease(const SDescription& d)
{
    std::vector<std::string> problems;
    auto version = [&](const std::string& v, const std::string& where) {
        if (!SevenDigits(v)) problems.push_back(where + ": version '" + v + "' is not seven digits");
    };
    auto url = [&](const std::string& u, const std::string& where) {
        if (!HttpUrl(u)) problems.push_back(where + ": '" + u + "' is not an absolute http(s) address");
    };
    version(d.latest, "latest");
    for (const auto& s : d.servers) {
        const std::string where = "server " + (s.count("url") ? s.at("url") : std::string());
        version(s.count("version") ? s.at("version") : "", where);
        url(s.count("url") ? s.at("url") : "", where);
        if (s.count("unicomurl") && !s.at("unicomurl").empty()) url(s.at("unicomurl"), where + " (unicomurl)");
        const std::string dir = s.count("dir") ? s.at("dir") : "";
        if (!dir.empty() && FenceName(dir.back() == '/' ? dir.substr(0, dir.size() - 1) : dir, NAME_RELATIVE_PATH) != NAME_OK)
            problems.push_back(where + ": dir '" + dir + "' is not a relative folder");
    }
    if (d.servers.empty()) problems.push_back("no server: the launcher has nowhere to fetch packages");
    for (const std::string& u : d.infoUrls) url(u, "infourl");
    for (int k = 0; k < 2; ++k) {
        if (d.basepack[k][0].empty() && d.basepack[k][1].empty()) continue;
        const std::string where = "basepack" + std::to_string(k + 1);
        url(d.basepack[k][0], where);
        if (FenceName(d.basepack[k][1], NAME_PLAIN_FILE) != NAME_OK)
            problems.push_back(where + ": '" + d.basepack[k][1] + "' is not a plain file name");
    }
    // Every version a player may have reaches the latest along the steps.
    std::map<std::string, std::set<std::string>> next;
    std::set<std::string> versions;
    for (const SStep& s : d.steps) {
        version(s.prev, "step " + s.prev + " -> " + s.inter);
        version(s.inter, "step " + s.prev + " -> " + s.inter);
        CheckPackage(s, s.upgrade, true, false, &problems);
        CheckPackage(s, s.upgradeDelta, true, true, &problems);
        CheckPackage(s, s.degrade, false, false, &problems);
        CheckPackage(s, s.degradeDelta, false, true, &problems);
        if (!s.upgrade.empty()) next[s.prev].insert(s.inter);
        if (!s.degrade.empty()) next[s.inter].insert(s.prev);
        versions.insert(s.prev);
        versions.insert(s.inter);
    }
    for (const std::string& from : versions) {
        std::set<std::string> seen = {from};
        std::vector<std::string> todo = {from};
        while (!todo.empty()) {
            const std::string v = todo.back();
            todo.pop_back();
            for (const std::string& n : next[v])
                if (seen.insert(n).second) todo.push_back(n);
        }
        if (!seen.count(d.latest))
            problems.push_back("version " + from + ": no chain of steps reaches the latest, " + d.latest);
    }
    if (!d.steps.empty() && !versions.count(d.latest))
        problems.push_back("latest " + d.latest + ": no step leads to it");
    CheckTrees(d, &problems);
    return problems;
}

namespace {

std::string Printed(const TiXmlDocument& doc)
{
    TiXmlPrinter printer;
    doc.Accept(&printer);
    return printer.Str();
}

std::string UpdateInfoXml(const SDescription& d)
{
    TiXmlDocument info;
    info.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
    TiXmlElement* root = new TiXmlElement("Root");
    info.LinkEndChild(root);
    TiXmlElement* latest = new TiXmlElement("LatestVersion");
    latest->LinkEndChild(new TiXmlText(d.latest.c_str()));
    root->LinkEndChild(latest);
    for (auto s : d.servers) {
        TiXmlElement* e = new TiXmlElement("PatchServer");
        e->SetAttribute("Version", s["version"].c_str());
        e->SetAttribute("url", s["url"].c_str());
        e->SetAttribute("unicomurl", !s["unicomurl"].empty() ? s["unicomurl"].c_str() : s["url"].c_str());
        e->SetAttribute("port", s["port"].c_str());
        e->SetAttribute("maxsize", !s["maxsize"].empty() ? s["maxsize"].c_str() : "0");
        e->SetAttribute("Clientdir", s["clientdir"].c_str());
        e->SetAttribute("Xmlfiledir", Base::Utility::AsciiLower(s["dir"]).c_str());
        root->LinkEndChild(e);
    }
    if (!d.infoUrls.empty()) {
        TiXmlElement* holder = new TiXmlElement("InternetUpdate2");
        for (const std::string& url : d.infoUrls) {
            TiXmlElement* e = new TiXmlElement("UpdateInfoURL");
            e->LinkEndChild(new TiXmlText(url.c_str()));
            holder->LinkEndChild(e);
        }
        root->LinkEndChild(holder);
    }
    for (int k = 0; k < 2; ++k) {
        if (d.basepack[k][0].empty()) continue;
        TiXmlElement* e = new TiXmlElement(k == 0 ? "PatchClientZip1" : "PatchClientZip2");
        e->SetAttribute("url", d.basepack[k][0].c_str());
        e->SetAttribute("filename", d.basepack[k][1].c_str());
        root->LinkEndChild(e);
    }
    if (d.chunkStore) {
        TiXmlElement* e = new TiXmlElement("ChunkStore");
        e->SetAttribute("dir", (std::string(kStoreDir) + "/").c_str());
        root->LinkEndChild(e);
    }
    if (!d.linkIp.empty()) {
        TiXmlElement* e = new TiXmlElement("LinkServerConn");
        e->SetAttribute("ip", d.linkIp.c_str());
        e->SetAttribute("port", d.linkPorts.c_str());
        root->LinkEndChild(e);
    }
    return Printed(info);
}

bool RevisionXml(const SDescription& d, std::string* text, std::string* error)
{
    TiXmlDocument revision;
    revision.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
    TiXmlElement* records = new TiXmlElement("Revisions");
    revision.LinkEndChild(records);
    for (const SStep& s : d.steps) {
        TiXmlElement* r = new TiXmlElement("Revision");
        r->SetAttribute("interversion", s.inter.c_str());
        r->SetAttribute("prevversion", s.prev.c_str());
        records->LinkEndChild(r);
        bool ok = true;
        if (!s.upgrade.empty()) ok = AddPackageElement(r, "upgrade", s.upgrade.path, true, error);
        if (ok && !s.degrade.empty()) ok = AddPackageElement(r, "degrade", s.degrade.path, true, error);
        if (ok && !s.upgradeDelta.empty()) ok = AddDeltaAttributes(r, "upgrade", s.upgradeDelta.path, true, error);
        if (ok && !s.degradeDelta.empty()) ok = AddDeltaAttributes(r, "degrade", s.degradeDelta.path, true, error);
        if (!ok) return false;
    }
    *text = Printed(revision);
    return true;
}

bool SameBytes(const fs::path& a, const fs::path& b)
{
    std::uint64_t sa = 0, sb = 0;
    return Md5OfFile(a.u8string(), &sa) == Md5OfFile(b.u8string(), &sb) && sa == sb;
}

}  // namespace

std::uint64_t PublishedSequence(const std::string& dir)
{
    const fs::path root = fs::u8path(dir);
    std::uint64_t highest = StoreSequence((root / kStoreDir).u8string());
    std::vector<fs::path> signatures = {root / "newupdateinfo.zip.minisig", root / "newupdateinfo_qa.zip.minisig"};
    std::error_code ec;
    for (auto& e : fs::directory_iterator(root / kStoreDir / "manifests", ec))
        if (e.path().extension() == ".minisig") signatures.push_back(e.path());
    for (const fs::path& p : signatures) {
        std::string bytes, value;
        SMinisig sig;
        if (ReadFileBytes(p, &bytes, kMaxMinisigBytes) && ReadMinisig(bytes.data(), bytes.size(), &sig) == MINISIG_OK &&
            TrustedCommentField(sig.trustedComment, "sequence", &value))
            highest = std::max<std::uint64_t>(highest, std::strtoull(value.c_str(), nullptr, 10));
    }
    return highest;
}

std::string FreshnessFields(std::uint64_t sequence, const SPublishOptions& options)
{
    const std::uint64_t expires = options.expiresAt
                                      ? options.expiresAt
                                      : static_cast<std::uint64_t>(std::time(nullptr)) + options.expiresDays * 86400ull;
    return "\tsequence:" + std::to_string(sequence) + "\texpires:" + std::to_string(expires);
}

namespace {

// Stages a signature of every published manifest that the store build did
// not write, so that all of a folder's manifests carry its sequence number.
bool StageManifestSignatures(const fs::path& out, const fs::path& stage, const SPublishOptions& options,
                             const std::string& fields, std::vector<std::pair<fs::path, fs::path>>* moves,
                             std::string* error)
{
    std::error_code ec;
    const fs::path published = out / kStoreDir / "manifests", staged = stage / kStoreDir / "manifests";
    fs::create_directories(staged, ec);
    for (auto& e : fs::directory_iterator(published, ec)) {
        if (e.path().extension() != ".manifest") continue;
        const fs::path copy = staged / e.path().filename();
        if (fs::exists(copy, ec)) continue;
        fs::copy_file(e.path(), copy, fs::copy_options::overwrite_existing, ec);
        if (ec || !options.signer->SignFile(copy.u8string(), options.timestamp, error, fields)) {
            if (error->empty()) *error = "cannot sign " + e.path().u8string();
            return false;
        }
        moves->emplace_back(copy.u8string() + ".minisig", e.path().u8string() + ".minisig");
    }
    return true;
}

// The served folders, each once, in the order the servers name them.
std::vector<std::string> ServedDirs(const SDescription& d)
{
    std::vector<std::string> dirs;
    for (auto s : d.servers) {
        const std::string dir = Base::Utility::AsciiLower(s["dir"]);
        if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
    }
    if (dirs.empty()) dirs.push_back("");
    return dirs;
}

std::vector<std::string> StepPackages(const SDescription& d)
{
    std::vector<std::string> packages;
    for (const SStep& s : d.steps)
        for (const SPackageRef* p : {&s.upgrade, &s.degrade, &s.upgradeDelta, &s.degradeDelta})
            if (!p->empty()) packages.push_back(p->path);
    return packages;
}

// QA never takes the place of a production file.
bool QaKeepsProduction(const fs::path& out, const std::vector<std::string>& dirs,
                       const std::vector<std::string>& packages, std::string* error)
{
    std::error_code ec;
    for (const std::string& dir : dirs)
        for (const std::string& p : packages) {
            const fs::path to = out / fs::u8path(dir) / fs::u8path(ServedName(p));
            if (fs::exists(to, ec) && !SameBytes(fs::u8path(p), to)) {
                *error = "--qa would replace " + to.u8string() + ", which production serves: give the QA package "
                         "another name";
                return false;
            }
        }
    return true;
}

// Everything is made in a folder beside the output, then moved in.
class CStagedPublication {
public:
    CStagedPublication(const fs::path& out, const fs::path& stage, const SPublishOptions& options, std::string* error)
        : m_out(out), m_stage(stage), m_options(options), m_error(error)
    {
    }

    bool StageFile(const fs::path& rel, const std::string& fields)
    {
        moves.emplace_back(m_stage / rel, m_out / rel);
        if (!m_options.signer) return true;
        moves.emplace_back(m_stage / (rel.u8string() + ".minisig"), m_out / (rel.u8string() + ".minisig"));
        return m_options.signer->SignFile((m_stage / rel).u8string(), m_options.timestamp, m_error, fields);
    }

    // Bundles, then the manifests that name them.
    bool StageChunkStore(const std::vector<SChunkTree>& trees, std::uint64_t sequence, const std::string& fields)
    {
        SStoreResult store;
        bool ok = BuildChunkStore(trees, (m_out / kStoreDir).u8string(), (m_stage / kStoreDir).u8string(), sequence,
                                  m_options.level, &store, m_error);
        for (size_t i = 0; ok && i < store.files.size(); ++i) {
            const fs::path rel = fs::u8path(kStoreDir) / fs::u8path(store.files[i]);
            if (rel.extension() == ".bundle")
                moves.emplace_back(m_stage / rel, m_out / rel);
            else
                ok = StageFile(rel, fields);
        }
        if (ok)
            std::printf("chunk store: %zu new chunks in %llu bytes of new bundles, %zu chunks reused\n", store.newChunks,
                        static_cast<unsigned long long>(store.newBundleBytes), store.reusedChunks);
        return ok;
    }

    bool StagePackages(const std::vector<std::string>& dirs, const std::vector<std::string>& packages)
    {
        std::error_code ec;
        CProgress progress("publishing", dirs.size() * packages.size());
        size_t done = 0;
        for (const std::string& dir : dirs) {
            for (const std::string& p : packages) {
                progress.Step(++done, ServedName(p));
                const fs::path rel = fs::u8path(dir) / fs::u8path(ServedName(p));
                fs::create_directories((m_stage / rel).parent_path(), ec);
                fs::copy_file(fs::u8path(p), m_stage / rel, fs::copy_options::overwrite_existing, ec);
                if (ec) {
                    *m_error = "cannot copy " + p + ": " + ec.message();
                    return false;
                }
                if (!StageFile(rel, "")) return false;
            }
        }
        return true;
    }

    bool MoveIn(std::vector<std::string>* written)
    {
        std::error_code ec;
        for (const auto& m : moves) {
            fs::create_directories(m.second.parent_path(), ec);
            if (!MoveReplacing(m.first.u8string(), m.second.u8string(), m_error)) return false;
            written->push_back(m.second.u8string());
        }
        return true;
    }

    std::vector<std::pair<fs::path, fs::path>> moves;  // staged -> final, in the order they go live

private:
    fs::path m_out, m_stage;
    const SPublishOptions& m_options;
    std::string* m_error;
};

}  // namespace

bool WritePublication(const SDescription& given, const std::string& outDir, const SPublishOptions& options,
                      std::vector<std::string>* written, std::string* error)
{
    SDescription d = given;
    const fs::path out = fs::u8path(outDir);
    const std::string suffix = options.qa ? "_qa" : "";
    std::string revisionText;
    if (!RevisionXml(d, &revisionText, error)) return false;
    const std::vector<std::string> dirs = ServedDirs(d);
    const std::vector<std::string> packages = StepPackages(d);
    if (options.qa && !QaKeepsProduction(out, dirs, packages, error)) return false;

    std::error_code ec;
    const fs::path stage = fs::u8path(outDir + ".staging");
    fs::remove_all(stage, ec);
    fs::create_directories(stage, ec);
    CStagedPublication staged(out, stage, options, error);
    const std::uint64_t sequence = PublishedSequence(outDir) + 1;
    const std::string fields = FreshnessFields(sequence, options);
    bool ok = true;
    // The chunk store first.
    if (!d.trees.empty()) ok = staged.StageChunkStore(d.trees, sequence, fields);
    if (ok && options.signer) ok = StageManifestSignatures(out, stage, options, fields, &staged.moves, error);
    d.chunkStore = !d.trees.empty() || fs::is_directory(out / kStoreDir / "manifests", ec);
    const std::string infoText = UpdateInfoXml(d);

    ok = ok && staged.StagePackages(dirs, packages);
    for (const auto& f : {std::make_pair("NewUpdateInfo" + suffix + ".xml", infoText),
                          std::make_pair("Revision" + suffix + ".xml", revisionText)}) {
        std::ofstream file(stage / f.first, std::ios::binary);
        file << f.second;
        ok = ok && static_cast<bool>(file);
        staged.moves.emplace_back(stage / f.first, out / f.first);
    }
    const std::string zipName = "newupdateinfo" + suffix + ".zip";
    CZipWriter zip;
    ok = ok && zip.Create((stage / zipName).u8string()) && zip.AddBytes("NewUpdateInfo.xml", infoText) &&
         zip.AddBytes("Revision.xml", revisionText);
    for (const auto& f : d.files) ok = ok && zip.AddFile(f.first, f.second);
    ok = zip.Close() && ok;
    if (!ok && error->empty()) *error = zip.Error().empty() ? "cannot write " + stage.u8string() : zip.Error();
    ok = ok && staged.StageFile(zipName, fields);
    ok = ok && staged.MoveIn(written);
    fs::remove_all(stage, ec);
    return ok;
}

bool RefreshPublication(const std::string& dir, const SPublishOptions& options, std::vector<std::string>* signedFiles,
                        std::string* error)
{
    const fs::path out = fs::u8path(dir);
    const fs::path stage = fs::u8path(dir + ".staging");
    std::error_code ec;
    const fs::path archive = out / (options.qa ? "newupdateinfo_qa.zip" : "newupdateinfo.zip");
    if (!fs::is_regular_file(archive, ec)) {
        *error = "no " + archive.u8string() + " to sign again";
        return false;
    }
    fs::remove_all(stage, ec);
    fs::create_directories(stage, ec);
    const std::string fields = FreshnessFields(PublishedSequence(dir) + 1, options);
    std::vector<std::pair<fs::path, fs::path>> moves;
    bool ok = StageManifestSignatures(out, stage, options, fields, &moves, error);
    const fs::path copy = stage / archive.filename();
    fs::copy_file(archive, copy, fs::copy_options::overwrite_existing, ec);
    ok = ok && !ec && options.signer->SignFile(copy.u8string(), options.timestamp, error, fields);
    moves.emplace_back(copy.u8string() + ".minisig", archive.u8string() + ".minisig");
    // The update information last: its signature is what players fetch first.
    for (size_t i = 0; ok && i < moves.size(); ++i) {
        ok = MoveReplacing(moves[i].first.u8string(), moves[i].second.u8string(), error);
        if (ok) signedFiles->push_back(moves[i].second.u8string());
    }
    fs::remove_all(stage, ec);
    return ok;
}
