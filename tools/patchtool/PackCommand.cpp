// patchtool pack: a patch package from two trees of the game.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include <tinyxml.h>

#include "Args.h"
#include "Commands.h"
#include "DeltaWriter.h"
#include "DiffWriter.h"
#include "PeWriter.h"
#include "Progress.h"
#include "ToolExit.h"
#include "TreeDiff.h"
#include "Utf8File.h"
#include "ZipWriter.h"
#include "base/utility/PathText.h"
#include "base/utility/Utf8.h"
#include "transfer/DiffDelta.h"
#include "transfer/PathFence.h"
#include "transfer/X86Filter.h"

namespace {

// A delta entry of the file list: the old file's MD5 and how the delta is applied.
struct SDeltaEntry {
    std::string baseMd5, kind;
    std::uint64_t sliceOffset = 0, sliceSize = 0;  // of a "diff-solid" delta in the solid bundle
};

// Files up to this size may have their deltas in the package's solid bundle.
const std::uint64_t kSolidFileMax = 1u << 20;
// What a zip entry of its own costs a package beyond its bytes (headers, name twice).
const std::uint64_t kEntryCost = 80;
const char kSolidEntry[] = "filelist.deltas";

std::size_t ReadHead(const std::string& path, std::uint8_t* out, std::size_t n)
{
    std::FILE* f = OpenUtf8(path, "rb");
    if (!f) return 0;
    const std::size_t got = std::fread(out, 1, n, f);
    std::fclose(f);
    return got;
}

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

// Each kind of delta the file takes, the smallest kept at *path (stem + kind).
// whole: the file deflated, what a delta must beat.
bool SmallestDelta(const std::string& old, const std::string& source, const std::string& stem, std::uint64_t whole,
                   std::string* kind, std::string* path, std::uint64_t* size, std::string* error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::uint8_t head[1024] = {};
    const bool pe = LooksLikePe(head, ReadHead(old, head, sizeof head)) ||
                    LooksLikePe(head, ReadHead(source, head, sizeof head));
    const bool small = fs::file_size(fs::u8path(old), ec) <= kMaxDiffOld && fs::file_size(fs::u8path(source), ec) <= kMaxDiffOld;
    *size = ~0ull;
    // Executables: the x86 filter before the difference; other files: zstd and the difference as they are.
    for (const char* k : {"zstd", "zstd-x86", "diff-lzma"}) {
        const std::string name(k);
        if ((name == "zstd-x86" && !pe) || (name == "diff-lzma" && !small)) continue;
        // Where zstd found little the old file shares, the slow difference finds little more.
        if (name == "diff-lzma" && *size / 9 >= whole / 10) continue;
        const std::string out = stem + "." + name;
        std::uint64_t n = 0;
        SDeltaOptions options;
        options.x86 = name == "zstd-x86";
        const bool ok = name == "diff-lzma" ? WriteDiffDelta(old, source, out, pe, &n, error)
                                            : WriteDelta(old, source, out, options, &n, error);
        if (!ok) return false;
        if (n < *size) {
            if (!path->empty()) RemoveUtf8(*path);
            *size = n;
            *kind = name;
            *path = out;
        } else {
            RemoveUtf8(out);
        }
    }
    return true;
}

// The solid bundle of the small files' deltas, when it costs less than their
// entries: each file's difference with plain streams, back to back, LZMA-coded
// as one. Chosen files become "diff-solid" with their slice; *path gets the
// bundle ("" when none pays).
bool BuildSolidBundle(const SPackJob& job, const std::string& deltaDir,
                      const std::map<std::string, std::uint64_t>& deltaSizes, std::map<std::string, SDeltaEntry>& deltas,
                      std::string* path, std::string* error)
{
    namespace fs = std::filesystem;
    const fs::path newDir = fs::u8path(job.newDir), oldDir = fs::u8path(job.oldDir);
    std::string plain;
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> slices;
    std::uint64_t separate = 0;
    std::error_code ec;
    for (const auto& d : deltaSizes) {
        const std::string source = (newDir / fs::u8path(d.first)).u8string(), old = (oldDir / fs::u8path(d.first)).u8string();
        const std::uint64_t size = fs::file_size(fs::u8path(source), ec);
        // Nothing shared (the delta about the file's size): no difference to bundle.
        if (size > kSolidFileMax || fs::file_size(fs::u8path(old), ec) > kSolidFileMax || d.second / 9 >= size / 10)
            continue;
        const std::string out = deltaDir + "/solid.part";
        std::uint64_t n = 0;
        if (!WriteDiffDelta(old, source, out, false, &n, error, true)) return false;
        std::ifstream in(fs::u8path(out), std::ios::binary);
        slices[d.first] = {plain.size(), n};
        plain.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        separate += d.second + kEntryCost;
        RemoveUtf8(out);
    }
    path->clear();
    if (slices.size() < 2) return true;
    std::string packed;
    const std::uint32_t dictionary = DictionaryFor(plain.size());
    if (!CompressLzma(plain, dictionary, &packed, error)) return false;
    // Each file in the bundle names its slice in the file list: a few bytes more.
    if (packed.size() + kSolidHeaderBytes + 24 * slices.size() >= separate) return true;
    unsigned char head[kSolidHeaderBytes];
    EncodeSolidHeader(plain.size(), dictionary, head);
    *path = deltaDir + "/" + kSolidEntry;
    std::ofstream out(fs::u8path(*path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(head), sizeof head);
    out.write(packed.data(), static_cast<std::streamsize>(packed.size()));
    if (!out) {
        *error = "cannot write " + *path;
        return false;
    }
    for (const auto& s : slices) {
        SDeltaEntry& e = deltas[s.first];
        e.kind = "diff-solid";
        e.sliceOffset = s.second.first;
        e.sliceSize = s.second.second;
    }
    return true;
}

}  // namespace

// deltaBases: for each path whose entry is a delta, its kind and the MD5 of the old file.
std::string BuildFileList(const std::vector<STreeChange>& changes, const std::string& from, const std::string& to,
                          const std::map<std::string, SDeltaEntry>& deltaBases = {})
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
            item->SetAttribute("delta", delta->second.kind.c_str());
            item->SetAttribute("basechecksum", delta->second.baseMd5.c_str());
            if (delta->second.kind == "diff-solid")
                item->SetAttribute("deltaslice", (std::to_string(delta->second.sliceOffset) + ":" +
                                                  std::to_string(delta->second.sliceSize)).c_str());
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
    std::map<std::string, SDeltaEntry> deltaBases;
    std::map<std::string, std::uint64_t> deltaSizes;
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
        std::string kind, delta;
        std::uint64_t deltaSize = 0;
        const std::uint64_t whole = DeflatedSize(source);
        if (!SmallestDelta(old, source, deltaDir + "/" + std::to_string(i), whole, &kind, &delta, &deltaSize, error)) {
            fs::remove_all(fs::u8path(deltaDir), ec);
            return false;
        }
        if (deltaSize < whole) {
            deltaBases[c.path] = {Md5OfFile(old), kind};
            entrySources[c.path] = delta;
            deltaSizes[c.path] = deltaSize;
        }
    }
    result->deltas = deltaBases.size();
    // Many small changed files: their differences compressed together, where
    // what they share (one edit made in many files) costs once.
    std::string solid;
    if (!BuildSolidBundle(job, deltaDir, deltaSizes, deltaBases, &solid, error)) {
        fs::remove_all(fs::u8path(deltaDir), ec);
        return false;
    }

    const std::string zipPath = job.out + ".zip.tmp";
    CZipWriter zip;
    bool ok = zip.Create(zipPath) && zip.AddBytes("filelist.xml", BuildFileList(changes, job.from, job.to, deltaBases));
    if (ok && !solid.empty()) ok = zip.AddFile(kSolidEntry, solid, true);
    for (const STreeChange& c : changes) {
        if (!ok) break;
        const auto delta = deltaBases.find(c.path);
        if (delta != deltaBases.end() && delta->second.kind == "diff-solid") continue;
        // Deltas are compressed already.
        if (c.add) ok = zip.AddFile(c.path, entrySources[c.path], delta != deltaBases.end());
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
