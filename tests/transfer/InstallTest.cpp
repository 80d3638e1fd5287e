#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <map>
#include <set>

#include <tinyxml.h>

#include "Commands.h"
#include "EngineTestUtil.h"
#include "Fixtures.h"
#include "MessageBoxRecorder.h"
#include "PeWriter.h"
#include "RecordingWindow.h"
#include "ZipWriter.h"
#include "base/utility/StringTable.h"
#include "transfer/FileList.h"
#include "transfer/Md5.h"
#include "transfer/PatchInstaller.h"
#include "transfer/RevisionXml.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

namespace {

typedef std::map<std::string, std::string> Tree;

std::string Cfg(const std::string& cur)
{
    return "<?xml version=\"1.0\"?>\n<Root><Version><LastVersion>0000099</LastVersion><CurVersion>" + cur +
           "</CurVersion><ClientVer>" + cur +
           "</ClientVer><DownloadedFileVersion>0</DownloadedFileVersion></Version>"
           "<ManualUpdateURL NormalURL=\"\"/><InternetUpdate><UpdateInfoURL>http://127.0.0.1:9/x.zip</UpdateInfoURL>"
           "</InternetUpdate></Root>\n";
}

void WriteTree(const fs::path& base, const Tree& tree)
{
    for (const auto& f : tree) WriteBytes(base / f.first, f.second);
}

// Files and directories below dir, without the installer's own places.
struct Snapshot {
    Tree files;
    std::set<std::string> dirs;
    bool operator==(const Snapshot& o) const { return files == o.files && dirs == o.dirs; }
};

Snapshot Take(const fs::path& dir)
{
    Snapshot s;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::end(it); ++it) {
        const std::string rel = fs::relative(it->path(), dir).generic_string();
        if (rel.rfind("PatchCfg/PatchTemp", 0) == 0 || rel.rfind("PatchCfg/PatchBackup", 0) == 0) continue;
        if (it->is_directory())
            s.dirs.insert(rel);
        else
            s.files[rel] = ReadBytes(it->path());
    }
    return s;
}

std::string Describe(const Snapshot& s)
{
    std::string out;
    for (const auto& f : s.files) out += f.first + " (" + std::to_string(f.second.size()) + ") ";
    for (const auto& d : s.dirs) out += d + "/ ";
    return out;
}

// A package with a file list of our own making.
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

std::string FileList(const std::string& from, const std::string& to, const std::string& items,
                     const std::string& installer = "1.0.0")
{
    return "<root><Installer version=\"" + installer + "\"/><Version internal=\"" + to + "\" from=\"" + from +
           "\"/><FileList>" + items + "</FileList></root>";
}

std::string Add(const std::string& path, const std::string& content)
{
    const size_t slash = path.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return "<add name=\"" + name + "\" path=\"" + path + "\" size=\"" + std::to_string(content.size()) +
           "\" checktype=\"md5\" checksum=\"" + Md5HexOf(content) + "\" Compressed=\"1\"/>";
}

int Pack(const fs::path& oldDir, const fs::path& newDir, const char* from, const char* to, const fs::path& out)
{
    std::string o = oldDir.string(), n = newDir.string(), p = out.string();
    std::string f = from, t = to;
    std::vector<char*> argv = {const_cast<char*>("--old"), &o[0], const_cast<char*>("--new"), &n[0],
                               const_cast<char*>("--from"), &f[0], const_cast<char*>("--to"), &t[0],
                               const_cast<char*>("-o"), &p[0]};
    return RunPack(static_cast<int>(argv.size()), argv.data());
}

unsigned g_failStep = ~0u;
int FailAt(unsigned step) { return step == g_failStep ? 1 : 0; }
int CrashAt(unsigned step)
{
    if (step == g_failStep) TerminateProcess(GetCurrentProcess(), 99);
    return 0;
}

const Tree kOld = {
    {"same.txt", "unchanged"},
    {"Data/changed.bin", "before"},
    {"Data/ReadOnly.txt", "read only before"},
    {"gone.txt", "removed"},
    {"PatchCfg/Revision.xml", "<Revisions/>"},
    {"launcher.exe", "MZ old launcher"},
};
const Tree kNew = {
    {"same.txt", "unchanged"},
    {"Data/changed.bin", "after!"},
    {"Data/ReadOnly.txt", "read only after"},
    {"Data/Sub/Deep/added.txt", "new file in new directories"},
    {"launcher.exe", "MZ new launcher"},
};

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadStringTable(L"", nullptr);
        RecordedMessageBoxes().clear();
        SetInstallFaultHook(nullptr);
        work = fs::temp_directory_path() / "tidewell-tests" / ("install-" + std::to_string(GetTickCount()) + "-" +
                                                               std::to_string(++s_counter));
        game = work / "game";
        fs::create_directories(game);
        WriteTree(work / "old", kOld);
        WriteTree(work / "new", kNew);
        ASSERT_EQ(Pack(work / "old", work / "new", "0000100", "0000200", work / "pkg.exe"), 0);
    }
    void TearDown() override
    {
        SetInstallFaultHook(nullptr);
        fs::current_path(work.parent_path());
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(work, ec); !ec && it != fs::end(it); it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(work, ec);
    }

    // A fresh installation at the old version in `game`.
    void FreshGame(const std::string& cur = "0000100")
    {
        fs::current_path(work);
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(game, ec); !ec && it != fs::end(it); it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(game);
        WriteTree(game, kOld);
        WriteBytes(game / "PatchCfg" / "NewUpdateCfg.xml", Cfg(cur));
        fs::permissions(game / "Data" / "ReadOnly.txt", fs::perms::owner_write, fs::perm_options::remove);
        fs::current_path(game);
    }

    // Installs like a hand-opened package (the package's versions are written).
    bool Install(CUpdateEngine& engine, const fs::path& package, bool manual = true)
    {
        if (!engine.m_bInitialized && !engine.Initialize(window.Handle(), true, nullptr, nullptr, nullptr)) return false;
        engine.m_strPackagePath = package.string();
        engine.m_strManualPatchPath = manual ? package.string() : "";
        return engine.Setup(0.3f, 1.0f);
    }

    static int s_counter;
    fs::path work, game;
    CRecordingWindow window;
};
int InstallTest::s_counter = 0;

std::string CfgVersion(const char* element)
{
    TiXmlDocument doc;
    doc.LoadFile("PatchCfg/NewUpdateCfg.xml");
    const TiXmlElement* e = doc.FirstChildElement("Root")->FirstChildElement("Version")->FirstChildElement(element);
    return e && e->GetText() ? e->GetText() : "";
}

}  // namespace

TEST(FileListTest, LaterChildrenComeFirst)
{
    TiXmlDocument doc;
    doc.Parse("<FileList><add name=\"a\" path=\"A\" size=\"12\" checktype=\"md5\" checksum=\"x\" Compressed=\"1\"/>"
              "<delete name=\"b\" path=\"dir\\B\" checktype=\"crc32\"/><add path=\"C\" checktype=\"sha\"/></FileList>");
    CFileList list;
    list.Read(doc.FirstChildElement());
    EXPECT_EQ(list.Count(), 3u);
    std::unique_ptr<SFileListItem> c = list.TakeHead(), b = list.TakeHead(), a = list.TakeHead();
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(c->path, L"C");
    EXPECT_EQ(c->checkType, 3u);
    EXPECT_EQ(b->operation, static_cast<std::uint32_t>(SFileListItem::OP_DELETE));
    EXPECT_EQ(b->checkType, 1u);
    EXPECT_EQ(a->operation, static_cast<std::uint32_t>(SFileListItem::OP_COPY));
    EXPECT_EQ(a->size, 12u);
    EXPECT_EQ(a->compressed, 1u);
    EXPECT_EQ(a->checksum, "x");
    EXPECT_FALSE(list.TakeHead());
}

TEST_F(InstallTest, APackedTreeInstallsByteForByte)
{
    FreshGame();
    CUpdateEngine engine;
    ASSERT_TRUE(Install(engine, work / "pkg.exe"));
    Snapshot after = Take(game);
    Tree expected = kNew;
    expected.erase("launcher.exe");
    expected["launcher.exe.new"] = "MZ new launcher";  // the running launcher is replaced later
    expected["launcher.exe"] = "MZ old launcher";
    expected["PatchCfg/Revision.xml"] = "<Revisions/>";  // never deleted
    Tree files = after.files;
    files.erase("PatchCfg/NewUpdateCfg.xml");
    EXPECT_EQ(files, expected);
    EXPECT_EQ(CfgVersion("CurVersion"), "0000200");
    EXPECT_EQ(CfgVersion("LastVersion"), "0000100");
    EXPECT_EQ(CfgVersion("ClientVer"), "0000200");
    EXPECT_TRUE(window.Received(WM_UPDATE_COMPLETE));
    EXPECT_FALSE(fs::exists("PatchCfg/PatchBackup"));
    for (auto& e : fs::recursive_directory_iterator("PatchCfg/PatchTemp"))
        if (e.is_regular_file()) {
            EXPECT_EQ(e.path().filename(), "Tidewell.log");
        }

    // Progress: unpacking below 300, copying 300-700, verifying 700-1000, 101 at the end.
    std::vector<LPARAM> p = window.Values(WM_DOWNLOAD_PROGRESS);
    ASSERT_GE(p.size(), 10u);
    EXPECT_EQ(p.front(), 0);
    EXPECT_EQ(p.back(), 101);
    EXPECT_EQ(p[p.size() - 2], 1000);
    EXPECT_NE(std::find(p.begin(), p.end(), 700), p.end());
    for (size_t i = 1; i + 1 < p.size(); ++i) EXPECT_LE(p[i - 1], p[i]) << i;
    EXPECT_TRUE(RecordedMessageBoxes().empty());
}

TEST_F(InstallTest, AutomaticUpdateSavesThePlannedVersion)
{
    FreshGame();
    CUpdateEngine engine;
    engine.m_Plan.interversion = "0000200";
    ASSERT_TRUE(Install(engine, work / "pkg.exe", false));
    EXPECT_EQ(CfgVersion("CurVersion"), "0000200");
    EXPECT_EQ(CfgVersion("LastVersion"), "0000100");
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000200");
}

TEST_F(InstallTest, AFileMissingFromThePackageFailsItsDigestUnlessAlreadyRight)
{
    CraftPackage(work / "ghost.exe", FileList("0000100", "0000101", Add("ghost.txt", "ghost") + Add("real.txt", "real")),
                 {{"real.txt", "real"}});
    FreshGame();
    const Snapshot before = Take(game);
    CUpdateEngine engine;
    EXPECT_FALSE(Install(engine, work / "ghost.exe"));
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].text.rfind(L"Check md5 Error ", 0), 0u);
    const std::string digest = Md5HexOf("ghost");
    EXPECT_NE(RecordedMessageBoxes()[0].text.find(L"ghost.txt to " + std::wstring(digest.begin(), digest.end())),
              std::wstring::npos);
    EXPECT_TRUE(Take(game) == before) << Describe(Take(game));

    FreshGame();
    WriteBytes("ghost.txt", "ghost");
    CUpdateEngine again;
    EXPECT_TRUE(Install(again, work / "ghost.exe"));
    EXPECT_EQ(ReadBytes("real.txt"), "real");
}

TEST_F(InstallTest, UnusablePackagesSend1126AndTouchNothing)
{
    // What an earlier run left in the temp directory must not be installed.
    const std::string staleList = FileList("0000100", "0000101", Add("stale.txt", "stale"));
    CraftPackage(work / "nolist.exe", "", {{"stale.txt", "not listed"}});
    CraftPackage(work / "v2.exe", FileList("0000100", "0000101", Add("a.txt", "a"), "2.0.0"), {{"a.txt", "a"}});
    CraftPackage(work / "up.exe", FileList("0000100", "0000101", Add("..\\evil.txt", "e")), {{"evil.txt", "e"}});
    CraftPackage(work / "drive.exe", FileList("0000100", "0000101", Add("C:\\evil.txt", "e")), {{"evil.txt", "e"}});
    CraftPackage(work / "temp.exe", FileList("0000100", "0000101", Add("PatchCfg\\PatchTemp\\evil.txt", "e")),
                 {{"PatchCfg/PatchTemp/evil.txt", "e"}});
    CraftPackage(work / "entry.exe", FileList("0000100", "0000101", Add("a.txt", "a")),
                 {{"a.txt", "a"}, {"../evil.txt", "e"}});
    WriteBytes(work / "notpe.exe", "this is no executable at all");
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);

    const std::vector<fs::path> packages = {work / "nolist.exe", work / "v2.exe",     work / "up.exe",
                                            work / "drive.exe",  work / "temp.exe",   work / "entry.exe",
                                            work / "notpe.exe",  fs::path(self),      work / "missing.exe"};
    for (const fs::path& package : packages) {
        FreshGame();
        WriteBytes("PatchCfg/PatchTemp/filelist.xml", staleList);
        WriteBytes("PatchCfg/PatchTemp/stale.txt", "stale");
        const Snapshot before = Take(game);
        window.Clear();
        CUpdateEngine engine;
        EXPECT_FALSE(Install(engine, package)) << package;
        EXPECT_TRUE(window.Received(WM_PACK_FILELIST_ERROR)) << package;
        EXPECT_EQ(engine.m_nInstallError, INSTALL_BAD_PACKAGE) << package;
        EXPECT_TRUE(Take(game) == before) << package << ": " << Describe(Take(game));
        EXPECT_FALSE(fs::exists(work / "evil.txt"));
        EXPECT_FALSE(fs::exists("C:/evil.txt"));
    }
}

TEST_F(InstallTest, VersionsOutsideThePackagesRangeSend1127)
{
    CraftPackage(work / "nofrom.exe", "<root><Installer version=\"1.0.0\"/><Version internal=\"0000101\"/><FileList/></root>",
                 {});
    CraftPackage(work / "later.exe", FileList("0000200", "0000300", Add("a.txt", "a")), {{"a.txt", "a"}});
    // A degrade package goes from a higher version to a lower one.
    CraftPackage(work / "down.exe", FileList("0000300", "0000200", Add("a.txt", "a")), {{"a.txt", "a"}});
    struct Case {
        const char* package;
        const char* client;
        bool ok;
    } cases[] = {{"nofrom.exe", "0000100", false}, {"later.exe", "0000100", false}, {"later.exe", "0000200", true},
                 {"later.exe", "0000300", true},   {"later.exe", "0000301", false}, {"down.exe", "0000250", true},
                 {"down.exe", "0000301", false},   {"down.exe", "0000199", false}};
    for (const Case& c : cases) {
        FreshGame(c.client);
        window.Clear();
        CUpdateEngine engine;
        EXPECT_EQ(Install(engine, work / c.package), c.ok) << c.package << " at " << c.client;
        EXPECT_EQ(window.Received(WM_PACK_VERSION_ERROR), !c.ok) << c.package << " at " << c.client;
    }
}

TEST_F(InstallTest, AFailureAtAnyStepLeavesTheGameAsItWas)
{
    // Steps: the items from the last child of the list to the first (the
    // delete of gone.txt, four copies; Revision.xml is never deleted), then
    // the version write.
    unsigned failures = 0;
    for (unsigned step = 0; step <= 6; ++step) {
        FreshGame();
        const Snapshot before = Take(game);
        g_failStep = step;
        SetInstallFaultHook(&FailAt);
        CUpdateEngine engine;
        const bool ok = Install(engine, work / "pkg.exe");
        SetInstallFaultHook(nullptr);
        EXPECT_FALSE(fs::exists("PatchCfg/PatchBackup/journal.txt")) << step;
        if (!ok) {
            ++failures;
            EXPECT_TRUE(Take(game) == before) << "failed at step " << step << ": " << Describe(Take(game));
            continue;
        }
        // A delete that fails is passed over; everything else must fail the whole.
        EXPECT_TRUE(step == 0 || step == 6) << step;
        EXPECT_EQ(fs::exists("gone.txt"), step == 0) << step;
        EXPECT_EQ(ReadBytes("Data/changed.bin"), "after!");
    }
    EXPECT_EQ(failures, 5u);
}

TEST_F(InstallTest, VersionsThatCannotBeSavedUndoTheInstallation)
{
    FreshGame();
    const Snapshot before = Take(game);
    CUpdateEngine engine;
    ASSERT_TRUE(engine.Initialize(window.Handle(), true, nullptr, nullptr, nullptr));
    EXPECT_FALSE(engine.ParseUpdateCfg("PatchCfg\\Missing.xml"));  // a configuration that did not load is not saved
    engine.m_Plan.interversion = "0000200";
    EXPECT_FALSE(Install(engine, work / "pkg.exe", false));
    EXPECT_TRUE(window.Received(WM_AUTOPATCH_STOP));
    EXPECT_TRUE(Take(game) == before) << Describe(Take(game));
}

// Runs only as the child of CrashMidInstallIsUndoneAtTheNextStart.
TEST(InstallCrashChild, DiesHalfWay)
{
    const char* step = std::getenv("TW_CRASH_STEP");
    if (step == nullptr) GTEST_SKIP() << "helper of another test";
    fs::current_path(std::getenv("TW_CRASH_DIR"));
    CRecordingWindow window;
    CUpdateEngine engine;
    ASSERT_TRUE(engine.Initialize(window.Handle(), true, nullptr, nullptr, nullptr));
    engine.m_strPackagePath = engine.m_strManualPatchPath = std::getenv("TW_CRASH_PACKAGE");
    g_failStep = static_cast<unsigned>(std::atoi(step));
    SetInstallFaultHook(&CrashAt);
    engine.Setup(0.3f, 1.0f);
    FAIL() << "should have died at step " << step;
}

TEST_F(InstallTest, ACrashMidInstallIsUndoneAtTheNextStart)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    for (unsigned step : {1u, 3u, 5u}) {
        FreshGame();
        const Snapshot before = Take(game);
        SetEnvironmentVariableW(L"TW_CRASH_STEP", std::to_wstring(step).c_str());
        SetEnvironmentVariableW(L"TW_CRASH_DIR", game.wstring().c_str());
        SetEnvironmentVariableW(L"TW_CRASH_PACKAGE", (work / "pkg.exe").wstring().c_str());
        std::wstring cmd = L"\"" + std::wstring(self) + L"\" --gtest_filter=InstallCrashChild.*";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(self, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        WaitForSingleObject(pi.hProcess, 60000);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        SetEnvironmentVariableW(L"TW_CRASH_STEP", nullptr);
        ASSERT_EQ(code, 99u) << "the child did not die at step " << step;
        EXPECT_FALSE(Take(game) == before) << "step " << step << " changed nothing";
        EXPECT_TRUE(fs::exists("PatchCfg/PatchBackup/journal.txt"));

        // The next start puts everything back before reading the configuration.
        CUpdateEngine engine;
        ASSERT_TRUE(engine.Initialize(window.Handle(), true, nullptr, nullptr, nullptr));
        EXPECT_TRUE(Take(game) == before) << "step " << step << ": " << Describe(Take(game));
        EXPECT_FALSE(fs::exists("PatchCfg/PatchBackup"));
        EXPECT_NE(ReadUtf16File("PatchCfg/PatchTemp/Tidewell.log").find(L"rollback file:"), std::wstring::npos);
        EXPECT_EQ(engine.GetLocalVersionStr(), "0000100");
        engine.CloseLog(true);
    }
}

TEST_F(InstallTest, PackagesLinkedByWindresInstallToo)
{
    FreshGame();
    CUpdateEngine engine;
    ASSERT_TRUE(Install(engine, FixtureDir("TW_ZIP_DIR") / "windres_package.exe"));
    EXPECT_EQ(ReadBytes("fromwindres.txt"), "linked by windres\n");
}

TEST_F(InstallTest, WindowsLoadsTheResourceOfAWrittenPackage)
{
    HMODULE module = LoadLibraryExW((work / "pkg.exe").wstring().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(135), L"RT_RCDATA");
    ASSERT_NE(res, nullptr);
    const DWORD size = SizeofResource(module, res);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, res)));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes, 4), "PK\x03\x04");
    EXPECT_GT(size, 100u);
    FreeLibrary(module);
}

TEST(RevisionXmlTest, LookupsWalkTheChainOneStepAtATime)
{
    ScopedTestDir dir;
    CUpdateEngine engine;
    engine.InitLogSystem();
    WriteBytes("Revision.xml",
               "<Revisions>"
               "<r interversion=\"0000300\" prevversion=\"0000200\"><upgrade filename=\"u300\" size=\"30\"/>"
               "<degrade filename=\"d300\" checksum=\"c\"/></r>"
               "<r interversion=\"0000200\" prevversion=\"0000100\" MicroBaseVersion=\"7\"><upgrade filename=\"u200\"/>"
               "<degrade filename=\"d200\"/></r>"
               "<r interversion=\"0000200\" prevversion=\"0000050\"><upgrade filename=\"dup\"/></r>"
               "</Revisions>");
    CRevisionXml table;
    ASSERT_TRUE(table.Load("Revision.xml", engine.FileLogSink()));
    EXPECT_EQ(table.Count(), 2u) << "a repeated interversion is dropped";

    SRevision q;
    q.prevversion = "0000100";
    q.interversion = "0000300";
    table.FindUpgrade(q);
    EXPECT_EQ(q.upgrade.filename, "u200");
    EXPECT_EQ(q.interversion, "0000200");
    q.prevversion = q.interversion;
    q.interversion = "0000300";
    table.FindUpgrade(q);
    EXPECT_EQ(q.upgrade.filename, "u300");
    EXPECT_EQ(q.upgrade.size, 30u);

    SRevision tooFar;  // the only step from 100 leads past the server
    tooFar.prevversion = "0000100";
    tooFar.interversion = "0000150";
    table.FindUpgrade(tooFar);
    EXPECT_EQ(tooFar.upgrade.filename, "");
    EXPECT_EQ(tooFar.interversion, "0000150");

    SRevision down;
    down.prevversion = "0000300";
    down.interversion = "0000100";
    table.FindDegrade(down);
    EXPECT_EQ(down.degrade.filename, "d300");
    EXPECT_EQ(down.degrade.checksum, "c");
    EXPECT_EQ(down.prevversion, "0000200");

    EXPECT_FALSE(table.Load("missing.xml", engine.FileLogSink()));
    EXPECT_EQ(table.Count(), 0u);
    WriteBytes("empty.xml", "<!-- nothing -->");
    EXPECT_FALSE(table.Load("empty.xml", engine.FileLogSink()));
    const std::wstring log = ReadUtf16File("PatchCfg/PatchTemp/Tidewell.log");
    EXPECT_NE(log.find(L"CRevisionXml::Load missing.xml ERROR!\r\n"), std::wstring::npos);
    EXPECT_NE(log.find(L"CRevisionXml::can't find root element\r\n"), std::wstring::npos);
    engine.CloseLog(true);
}
