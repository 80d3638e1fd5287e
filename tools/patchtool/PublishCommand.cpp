// patchtool publish: the update information a patch server serves, from a
// short description.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <tinyxml.h>

#include "Args.h"
#include "Commands.h"
#include "RevisionRecord.h"
#include "Signer.h"
#include "base/utility/PathText.h"
#include "ZipWriter.h"

namespace fs = std::filesystem;

namespace {

const char kDescriptionHelp[] =
    "description lines (# starts a comment; paths are relative to the description):\n"
    "  latest VERSION\n"
    "  server url=URL [unicomurl=URL] [dir=DIR/] version=VERSION [port=P] [maxsize=N] [clientdir=D]\n"
    "  step PREV INTER [upgrade=PACKAGE] [degrade=PACKAGE] [upgradedelta=PACKAGE] [degradedelta=PACKAGE]\n"
    "                               (a delta package, pack --delta, beside the whole-file one)\n"
    "  infourl URL                  (more addresses of the update information)\n"
    "  basepack1 URL FILENAME       and  basepack2 URL FILENAME\n"
    "  link IP PORTS                (PORTS separated by ';')\n"
    "  file NAME PATH               (ServerList.xml, DownloadServer.xml or GameCfg.ini)\n";

struct SStep {
    std::string prev, inter;
    std::string upgrade, degrade;  // package paths
    std::string upgradeDelta, degradeDelta;
};

struct SDescription {
    std::string latest;
    std::vector<std::map<std::string, std::string>> servers;
    std::vector<SStep> steps;
    std::vector<std::string> infoUrls;
    std::string basepack[2][2];  // url, filename
    std::string linkIp, linkPorts;
    std::vector<std::pair<std::string, std::string>> files;
};

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

bool ReadDescription(const std::string& path, SDescription* d, std::string* error)
{
    std::ifstream in(fs::u8path(path));
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    const fs::path base = fs::u8path(path).parent_path();
    auto resolve = [&](const std::string& p) { return p.empty() ? p : (base / fs::u8path(p)).u8string(); };
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
        } else if (key == "file") {
            std::string name, p;
            words >> name >> p;
            if (name != "ServerList.xml" && name != "DownloadServer.xml" && name != "GameCfg.ini")
                e = "the update information carries no file named " + name;
            d->files.emplace_back(name, resolve(p));
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

std::string Printed(const TiXmlDocument& doc)
{
    TiXmlPrinter printer;
    doc.Accept(&printer);
    return printer.Str();
}

}  // namespace

int RunPublish(int argc, char** argv)
{
    CArgs args;
    std::string error;
    std::uint64_t timestamp = 0;
    if (!args.Parse(argc, argv, {"-o", "--sign", "--timestamp"}, &error, {"--qa"}) || args.Positional().size() != 1 ||
        !args.Has("-o") || !ParseTimestamp(args.Get("--timestamp"), &timestamp)) {
        if (!error.empty()) std::fprintf(stderr, "patchtool publish: %s\n", error.c_str());
        std::fprintf(stderr, "usage: patchtool publish DESCRIPTION -o DIR [--qa] [--sign NAME.key [--timestamp SECONDS]]\n\n%s",
                     kDescriptionHelp);
        return 2;
    }
    // The key is loaded first: a bad key publishes nothing.
    CSigner signer;
    if (args.Has("--sign") && !signer.Load(args.Get("--sign"), &error)) {
        std::fprintf(stderr, "patchtool publish: %s\n", error.c_str());
        return 1;
    }
    std::vector<fs::path> written;
    SDescription d;
    if (!ReadDescription(args.Positional()[0], &d, &error)) {
        std::fprintf(stderr, "patchtool publish: %s\n", error.c_str());
        return 1;
    }
    const fs::path out = fs::u8path(args.Get("-o"));
    std::error_code ec;
    fs::create_directories(out, ec);

    TiXmlDocument info;
    info.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
    TiXmlElement* root = new TiXmlElement("Root");
    info.LinkEndChild(root);
    TiXmlElement* latest = new TiXmlElement("LatestVersion");
    latest->LinkEndChild(new TiXmlText(d.latest.c_str()));
    root->LinkEndChild(latest);
    std::vector<std::string> packageDirs;
    for (auto& s : d.servers) {
        TiXmlElement* e = new TiXmlElement("PatchServer");
        e->SetAttribute("Version", s["version"].c_str());
        e->SetAttribute("url", s["url"].c_str());
        e->SetAttribute("unicomurl", s.count("unicomurl") ? s["unicomurl"].c_str() : s["url"].c_str());
        e->SetAttribute("port", s["port"].c_str());
        e->SetAttribute("maxsize", s.count("maxsize") ? s["maxsize"].c_str() : "0");
        e->SetAttribute("Clientdir", s["clientdir"].c_str());
        e->SetAttribute("Xmlfiledir", Base::Utility::AsciiLower(s["dir"]).c_str());
        root->LinkEndChild(e);
        // Servers that share a folder get one copy.
        const std::string dir = Base::Utility::AsciiLower(s["dir"]);
        if (std::find(packageDirs.begin(), packageDirs.end(), dir) == packageDirs.end()) packageDirs.push_back(dir);
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
    if (!d.linkIp.empty()) {
        TiXmlElement* e = new TiXmlElement("LinkServerConn");
        e->SetAttribute("ip", d.linkIp.c_str());
        e->SetAttribute("port", d.linkPorts.c_str());
        root->LinkEndChild(e);
    }

    TiXmlDocument revision;
    revision.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
    TiXmlElement* records = new TiXmlElement("Revisions");
    revision.LinkEndChild(records);
    std::vector<std::string> packages;
    for (const SStep& s : d.steps) {
        TiXmlElement* r = new TiXmlElement("Revision");
        r->SetAttribute("interversion", s.inter.c_str());
        r->SetAttribute("prevversion", s.prev.c_str());
        bool ok = true;
        if (!s.upgrade.empty()) ok = AddPackageElement(r, "upgrade", s.upgrade, true, &error);
        if (ok && !s.degrade.empty()) ok = AddPackageElement(r, "degrade", s.degrade, true, &error);
        if (ok && !s.upgradeDelta.empty()) ok = AddDeltaAttributes(r, "upgrade", s.upgradeDelta, true, &error);
        if (ok && !s.degradeDelta.empty()) ok = AddDeltaAttributes(r, "degrade", s.degradeDelta, true, &error);
        records->LinkEndChild(r);
        if (!ok) {
            std::fprintf(stderr, "patchtool publish: %s\n", error.c_str());
            return 1;
        }
        for (const std::string& p : {s.upgrade, s.degrade, s.upgradeDelta, s.degradeDelta})
            if (!p.empty()) packages.push_back(p);
    }

    const std::string infoText = Printed(info), revisionText = Printed(revision);
    bool ok = true;
    for (const auto& f : {std::make_pair("NewUpdateInfo.xml", infoText), std::make_pair("Revision.xml", revisionText)}) {
        std::ofstream file(out / f.first, std::ios::binary);
        file << f.second;
        ok = ok && static_cast<bool>(file);
    }
    // Packages go where the servers' download addresses point, under lower-case
    // names: the launcher lower-cases every address it asks for.
    if (packageDirs.empty()) packageDirs.push_back("");
    for (const std::string& dir : packageDirs) {
        const fs::path target = out / fs::u8path(dir);
        fs::create_directories(target, ec);
        for (const std::string& p : packages) {
            const fs::path to = target / fs::u8path(Base::Utility::AsciiLower(fs::u8path(p).filename().u8string()));
            written.push_back(to);
            if (fs::equivalent(fs::u8path(p), to, ec)) continue;
            fs::copy_file(fs::u8path(p), to, fs::copy_options::overwrite_existing, ec);
            if (ec) {
                std::fprintf(stderr, "patchtool publish: cannot copy %s: %s\n", p.c_str(), ec.message().c_str());
                return 1;
            }
        }
    }
    const std::string zipName = args.Has("--qa") ? "newupdateinfo_qa.zip" : "newupdateinfo.zip";
    CZipWriter zip;
    ok = ok && zip.Create((out / zipName).u8string()) && zip.AddBytes("NewUpdateInfo.xml", infoText) &&
         zip.AddBytes("Revision.xml", revisionText);
    for (const auto& f : d.files) ok = ok && zip.AddFile(f.first, f.second);
    ok = zip.Close() && ok;
    if (!ok) {
        std::fprintf(stderr, "patchtool publish: %s\n", zip.Error().empty() ? "cannot write the output" : zip.Error().c_str());
        return 1;
    }
    written.push_back(out / zipName);
    for (const fs::path& f : written) {
        if (args.Has("--sign") && !signer.SignFile(f.u8string(), timestamp, &error)) {
            std::fprintf(stderr, "patchtool publish: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf("%s: latest %s, %zu servers, %zu steps, %zu packages%s\n", (out / zipName).u8string().c_str(),
                d.latest.c_str(), d.servers.size(), d.steps.size(), packages.size(),
                args.Has("--sign") ? ", signed" : "");
    return 0;
}
