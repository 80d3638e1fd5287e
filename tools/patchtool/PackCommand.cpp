// patchtool pack: a patch package from two trees of the game.
#include <cstdio>
#include <filesystem>
#include <map>

#include <tinyxml.h>

#include "Args.h"
#include "Commands.h"
#include "DeltaWriter.h"
#include "PeWriter.h"
#include "Progress.h"
#include "ToolExit.h"
#include "TreeDiff.h"
#include "Utf8File.h"
#include "ZipWriter.h"
#include "base/utility/PathText.h"
#include "base/utility/Utf8.h"
#include "transfer/PathFence.h"

namespace {

const char kDeltaInstallerVersion[] = "1.1.0";

std::string FileName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Every name as the installer will check it: UTF-16, fenced, no two that a
// player's file system takes for one.
bool CheckPackageNames(const std::vector<std::string>& newFiles, const std::vector<STreeChange>& changes,
                       std::string* why)
{
    std::vector<std::wstring> names;
    auto wide = [&](const std::string& path, std::wstring* out) {
        if (Base::Utility::Utf16FromUtf8(path, out)) return true;
        *why = "refused name " + path + ": not valid UTF-8";
        return false;
    };
    for (const std::string& path : newFiles) {
        names.emplace_back();
        if (!wide(path, &names.back())) return false;
    }
    SNameRefusal refusal;
    if (!CheckNames(names, NAME_PACKAGE_TARGET, &refusal)) {
        *why = "refused name " + Base::Utility::Utf8FromUtf16(refusal.name) + ": " +
               Base::Utility::Utf8FromUtf16(refusal.why) + " (the launcher would refuse the package)";
        return false;
    }
    for (const STreeChange& c : changes) {
        std::wstring name;
        if (c.add) continue;
        if (!wide(c.path, &name)) return false;
        const ENameVerdict verdict = FenceName(name, NAME_PACKAGE_TARGET);
        if (verdict != NAME_OK) {
            *why = "refused name " + c.path + " (removed): " + Base::Utility::Utf8FromUtf16(NameVerdictText(verdict));
            return false;
        }
    }
    return true;
}

}  // namespace

// deltaBases: the MD5 of the old file for each path whose entry is a delta.
std::string BuildFileList(const std::vector<STreeChange>& changes, const std::string& from, const std::string& to,
                          const std::map<std::string, std::string>& deltaBases = {})
{
    TiXmlDocument doc;
    doc.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
    TiXmlElement* root = new TiXmlElement("root");
    doc.LinkEndChild(root);
    TiXmlElement* installer = new TiXmlElement("Installer");
    // Launchers that cannot apply deltas refuse such a package cleanly.
    installer->SetAttribute("version", deltaBases.empty() ? "1.0.0" : kDeltaInstallerVersion);
    root->LinkEndChild(installer);
    TiXmlElement* version = new TiXmlElement("Version");
    version->SetAttribute("internal", to.c_str());
    version->SetAttribute("from", from.c_str());
    root->LinkEndChild(version);
    TiXmlElement* list = new TiXmlElement("FileList");
    root->LinkEndChild(list);
    for (const STreeChange& c : changes) {
        TiXmlElement* item = new TiXmlElement(c.add ? "add" : "delete");
        item->SetAttribute("name", FileName(c.path).c_str());
        item->SetAttribute("path", Base::Utility::WithBackslashes(c.path).c_str());
        item->SetAttribute("size", std::to_string(c.size).c_str());
        item->SetAttribute("checktype", "md5");
        item->SetAttribute("checksum", c.md5.c_str());
        item->SetAttribute("Compressed", "1");
        const auto delta = deltaBases.find(c.path);
        if (delta != deltaBases.end()) {
            item->SetAttribute("delta", "zstd");
            item->SetAttribute("basechecksum", delta->second.c_str());
        }
        list->LinkEndChild(item);
    }
    TiXmlPrinter printer;
    doc.Accept(&printer);
    return printer.Str();
}

bool PackTrees(const SPackJob& job, SPackResult* result, std::string* error)
{
    *result = SPackResult();
    std::vector<STreeChange> changes;
    std::vector<std::string> newFiles;
    STreeLeftovers leftovers;
    if (!DiffTrees(job.oldDir, job.newDir, &changes, error, &newFiles, &leftovers)) return false;
    for (const std::string& link : leftovers.links)
        std::fprintf(stderr, "patchtool pack: warning: %s is a symbolic link: not packed\n", link.c_str());
    for (const std::string& dir : leftovers.emptyDirs)
        std::fprintf(stderr, "patchtool pack: warning: %s is an empty folder: not packed (the launcher makes the "
                     "folders of the files it installs)\n", dir.c_str());
    // Nothing published may fail on a player's machine for its names.
    if (!CheckPackageNames(newFiles, changes, error)) {
        result->refusedName = true;
        return false;
    }
    for (const STreeChange& c : changes) (c.add ? result->added : result->removed)++;

    namespace fs = std::filesystem;
    const fs::path newDir = fs::u8path(job.newDir), oldDir = fs::u8path(job.oldDir);
    // A changed file travels as a delta where that is smaller than the file deflated.
    std::map<std::string, std::string> deltaBases;
    std::map<std::string, std::string> entrySources;
    const std::string deltaDir = job.out + ".deltas.tmp";
    std::error_code ec;
    CProgress progress(job.delta ? "packing (deltas)" : "packing", changes.size());
    for (size_t i = 0; i < changes.size(); ++i) {
        const STreeChange& c = changes[i];
        progress.Step(i + 1, c.path);
        if (!c.add) continue;
        const std::string source = (newDir / fs::u8path(c.path)).u8string();
        entrySources[c.path] = source;
        const std::string old = (oldDir / fs::u8path(c.path)).u8string();
        if (!job.delta || job.oldDir.empty() || !fs::is_regular_file(fs::u8path(old), ec)) continue;
        fs::create_directories(fs::u8path(deltaDir), ec);
        const std::string delta = deltaDir + "/" + std::to_string(i);
        std::uint64_t deltaSize = 0;
        if (!WriteDelta(old, source, delta, SDeltaOptions(), &deltaSize, error)) {
            fs::remove_all(fs::u8path(deltaDir), ec);
            return false;
        }
        if (deltaSize < DeflatedSize(source)) {
            deltaBases[c.path] = Md5OfFile(old);
            entrySources[c.path] = delta;
        }
    }
    result->deltas = deltaBases.size();

    const std::string zipPath = job.out + ".zip.tmp";
    CZipWriter zip;
    bool ok = zip.Create(zipPath) && zip.AddBytes("filelist.xml", BuildFileList(changes, job.from, job.to, deltaBases));
    for (const STreeChange& c : changes) {
        if (!ok) break;
        if (c.add) ok = zip.AddFile(c.path, entrySources[c.path]);
    }
    ok = zip.Close() && ok;
    fs::remove_all(fs::u8path(deltaDir), ec);
    if (!ok) {
        *error = zip.Error();
        RemoveUtf8(zipPath);
        return false;
    }
    ok = WritePackageImage(zipPath, job.out, error);
    RemoveUtf8(zipPath);
    if (!ok) return false;
    result->md5 = Md5OfFile(job.out, &result->size);
    return true;
}

int RunPack(int argc, char** argv)
{
    CArgs args;
    std::string error;
    if (!args.Parse(argc, argv, {"--old", "--new", "--from", "--to", "-o"}, &error, {"--delta"}) ||
        !args.Positional().empty() ||
        !args.Has("--new") || !args.Has("--from") || !args.Has("--to") || !args.Has("-o")) {
        if (!error.empty()) std::fprintf(stderr, "patchtool pack: %s\n", error.c_str());
        std::fputs("usage: patchtool pack [--old DIR] --new DIR --from V --to V -o PACKAGE.exe [--delta]\n", stderr);
        return TOOL_USAGE;
    }
    SPackJob job;
    job.oldDir = args.Get("--old");
    job.newDir = args.Get("--new");
    job.from = args.Get("--from");
    job.to = args.Get("--to");
    job.out = args.Get("-o");
    job.delta = args.Has("--delta");
    if (job.from == job.to) return Fail("pack", TOOL_USAGE, "--from and --to must differ");
    if (job.from.size() != job.to.size())
        std::fputs("patchtool pack: warning: versions of different length do not compare as numbers\n", stderr);
    SPackResult r;
    if (!PackTrees(job, &r, &error)) return Fail("pack", r.refusedName ? TOOL_REFUSED_NAME : TOOL_FAILED, error);
    std::printf("%s: %s -> %s, %zu added or changed (%zu as deltas), %zu deleted, %llu bytes, md5 %s\n", job.out.c_str(),
                job.from.c_str(), job.to.c_str(), r.added, r.deltas, r.removed, static_cast<unsigned long long>(r.size),
                r.md5.c_str());
    return TOOL_OK;
}
