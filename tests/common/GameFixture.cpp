#include "GameFixture.h"

#include <gtest/gtest.h>

#include <cctype>

#include "PeWriter.h"
#include "ZipWriter.h"
#include "transfer/Md5.h"

const Tree kOldGame = {
    {"same.txt", "unchanged"},        {"Data/changed.bin", "before"}, {"Data/ReadOnly.txt", "read only before"},
    {"gone.txt", "removed"},          {"PatchCfg/Revision.xml", "<Revisions/>"},
    {"launcher.exe", "MZ old launcher"},
};
const Tree kNewGame = {
    {"same.txt", "unchanged"},        {"Data/changed.bin", "after!"}, {"Data/ReadOnly.txt", "read only after"},
    {"Data/Sub/Deep/added.txt", "new file in new directories"}, {"launcher.exe", "MZ new launcher"},
};

Tree InstalledNewGame()
{
    Tree t = kNewGame;
    t["launcher.exe"] = "MZ old launcher";
    t["launcher.exe.new"] = "MZ new launcher";
    t["PatchCfg/Revision.xml"] = "<Revisions/>";
    return t;
}

void WriteTree(const fs::path& base, const Tree& tree)
{
    for (const auto& f : tree) WriteBytes(base / f.first, f.second);
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
        std::string rel = fs::relative(it->path(), dir).generic_string();
        if (rel.rfind("PatchCfg/PatchTemp", 0) == 0 || rel.rfind("PatchCfg/PatchBackup", 0) == 0) continue;
        if (lower) rel = Lower(rel);
        if (it->is_directory())
            s.dirs.insert(rel);
        else
            s.files[rel] = ReadBytes(it->path());
    }
    return s;
}

std::ostream& operator<<(std::ostream& os, const Snapshot& s)
{
    for (const auto& f : s.files) os << f.first << " (" << f.second.size() << ") ";
    for (const auto& d : s.dirs) os << d << "/ ";
    return os;
}

std::string LocalConfig(const std::string& cur, const std::vector<std::string>& infoUrls)
{
    std::string list;
    for (const std::string& u : infoUrls) list += "<UpdateInfoURL>" + u + "</UpdateInfoURL>";
    if (list.empty()) list = "<UpdateInfoURL>http://127.0.0.1:9/x.zip</UpdateInfoURL>";
    return "<?xml version=\"1.0\"?>\n<Root><Version><LastVersion>0000099</LastVersion><CurVersion>" + cur +
           "</CurVersion><ClientVer>" + cur + "</ClientVer><DownloadedFileVersion>0</DownloadedFileVersion></Version>"
           "<ManualUpdateURL NormalURL=\"\"/><InternetUpdate>" + list + "</InternetUpdate></Root>\n";
}

void CraftPackage(const fs::path& out, const std::string& fileList, const Tree& entries)
{
    const std::string zipPath = out.string() + ".zip";
    CZipWriter zip;
    ASSERT_TRUE(zip.Create(zipPath));
    if (!fileList.empty()) {
        ASSERT_TRUE(zip.AddBytes("filelist.xml", fileList));
    }
    for (const auto& e : entries) ASSERT_TRUE(zip.AddBytes(e.first, e.second));
    ASSERT_TRUE(zip.Close());
    std::string error;
    ASSERT_TRUE(WritePackageImage(zipPath, out.string(), &error)) << error;
    fs::remove(zipPath);
}

std::string FileListXml(const std::string& from, const std::string& to, const std::string& items,
                        const std::string& installer)
{
    return "<root><Installer version=\"" + installer + "\"/><Version internal=\"" + to + "\" from=\"" + from +
           "\"/><FileList>" + items + "</FileList></root>";
}

std::string AddItem(const std::string& path, const std::string& content)
{
    const size_t slash = path.find_last_of("\\/");
    return "<add name=\"" + path.substr(slash == std::string::npos ? 0 : slash + 1) + "\" path=\"" + path +
           "\" size=\"" + std::to_string(content.size()) + "\" checktype=\"md5\" checksum=\"" + Md5HexOf(content) +
           "\" Compressed=\"1\"/>";
}

int RunTool(int (*command)(int, char**), std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    return command(static_cast<int>(argv.size()), argv.data());
}
