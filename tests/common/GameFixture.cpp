#include "GameFixture.h"

#include <gtest/gtest.h>

#include <cctype>

#include "Commands.h"
#include "PeWriter.h"
#include "ZipWriter.h"
#include "transfer/Md5.h"

const Tree kOldGame = {{"same.txt", "unchanged"},     {"Data/changed.bin", "before"},
                       {"Data/ReadOnly.txt", "r 1"},  {"gone.txt", "removed"},
                       {"launcher.exe", "MZ old"},    {"PatchCfg/Revision.xml", "<Revisions/>"}};
const Tree kNewGame = {{"same.txt", "unchanged"},     {"Data/changed.bin", "after!"},
                       {"Data/ReadOnly.txt", "r 2"},  {"Data/Sub/Deep/added.txt", "new file in new directories"},
                       {"launcher.exe", "MZ new"}};
const Tree kInstalledNewGame = [] {
    Tree t = kNewGame;
    t["launcher.exe"] = "MZ old", t["launcher.exe.new"] = "MZ new", t["PatchCfg/Revision.xml"] = "<Revisions/>";
    return t;
}();

void WriteTree(const fs::path& base, const Tree& tree)
{
    for (const auto& f : tree) WriteBytes(base / fs::u8path(f.first), f.second);
}

void PackStep(const fs::path& dir, const Tree& from, const Tree& to, const std::string& fromVersion,
              const std::string& toVersion, const std::string& out, bool delta)
{
    WriteTree(dir / fromVersion, from);
    WriteTree(dir / toVersion, to);
    std::vector<std::string> args = {"--old", (dir / fromVersion).string(), "--new", (dir / toVersion).string(),
                                     "--from", fromVersion, "--to", toVersion, "-o", (dir / out).string()};
    if (delta) args.push_back("--delta");
    ASSERT_EQ(RunTool(&RunPack, args), 0);
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

Snapshot TakeSnapshot(const fs::path& dir, bool lower)
{
    Snapshot s;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::end(it); ++it) {
        std::string rel = it->path().lexically_relative(dir).generic_u8string();
        if (rel.rfind("PatchCfg/PatchTemp", 0) == 0 || rel.rfind("PatchCfg/PatchBackup", 0) == 0) continue;
        if (lower) rel = Lower(rel);
        if (it->is_directory())
            s.dirs.insert(rel);
        else
            s.files[rel] = ReadBytes(it->path());
    }
    return s;
}

std::string LocalConfig(const std::string& cur, const std::vector<std::string>& infoUrls)
{
    std::string list;
    for (const std::string& u : infoUrls.empty() ? std::vector<std::string>{"http://127.0.0.1:9/x.zip"} : infoUrls)
        list += "<UpdateInfoURL>" + u + "</UpdateInfoURL>";
    return "<?xml version=\"1.0\"?>\n<Root><Version><LastVersion>0000099</LastVersion><CurVersion>" + cur +
           "</CurVersion><ClientVer>" + cur + "</ClientVer><DownloadedFileVersion>0</DownloadedFileVersion></Version>"
           "<ManualUpdateURL NormalURL=\"\"/><InternetUpdate>" + list + "</InternetUpdate></Root>\n";
}

void CraftPackage(const fs::path& out, const std::string& fileList, const Tree& entries)
{
    const std::string zipPath = out.string() + ".zip";
    CZipWriter zip;
    bool ok = zip.Create(zipPath) && (fileList.empty() || zip.AddBytes("filelist.xml", fileList));
    for (const auto& e : entries) ok = ok && zip.AddBytes(e.first, e.second);
    ASSERT_TRUE(zip.Close() && ok);
    std::string error;
    ASSERT_TRUE(WritePackageImage(zipPath, out.string(), &error)) << error;
    fs::remove(zipPath);
}

std::string FileListXml(const std::string& from, const std::string& to, const std::string& items, const std::string& installer)
{
    return "<root><Installer version=\"" + installer + "\"/><Version internal=\"" + to + "\" from=\"" + from +
           "\"/><FileList>" + items + "</FileList></root>";
}

std::string AddItem(const std::string& path, const std::string& content)
{
    const size_t slash = path.find_last_of("\\/");
    return "<add name=\"" + path.substr(slash == std::string::npos ? 0 : slash + 1) + "\" path=\"" + path + "\" size=\"" +
           std::to_string(content.size()) + "\" checktype=\"md5\" checksum=\"" + Md5HexOf(content) + "\"/>";
}

std::string DeltaItem(const std::string& result, const std::string& base, const std::string& resultMd5,
                      const std::string& kind)
{
    return "<add name=\"big.pak\" path=\"Data\\big.pak\" size=\"" + std::to_string(result.size()) +
           "\" checktype=\"md5\" checksum=\"" + resultMd5 + "\" delta=\"" + kind + "\" basechecksum=\"" + Md5HexOf(base) +
           "\"/>";
}

std::string UncompressibleBytes(size_t n)
{
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 11);
    return bytes;
}

int RunTool(int (*command)(int, char**), std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    return command(static_cast<int>(argv.size()), argv.data());
}
