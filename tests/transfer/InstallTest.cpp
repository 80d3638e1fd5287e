// The installer and its journal, driven as the engine's installation step
// drives them.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "DeltaWriter.h"
#include "DiffWriter.h"
#include "EngineTestUtil.h"
#include "GameFixture.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"
#include "base/utility/WinHandle.h"
#include "transfer/DiffDelta.h"
#include "transfer/Directories.h"
#include "transfer/JournalText.h"
#include "transfer/Md5.h"
#include "transfer/Md5File.h"
#include "transfer/PatchInstaller.h"
#include "transfer/RevisionXml.h"

namespace {

unsigned g_failStep = ~0u;
bool FailAt(unsigned step) { return step == g_failStep; }

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_work = fs::temp_directory_path() / "tidewell-tests" / ("install-" + std::to_string(GetTickCount()));
        PackStep(s_work, kOldGame, kNewGame, "0000100", "0000200", "pkg.exe");
    }
    static void TearDownTestSuite() { RemoveTree(s_work); }
    void SetUp() override
    {
        RecordedMessageBoxes().clear();
        faults = nullptr;
    }
    // A fresh installation at version cur, the current directory.
    void FreshGame(const std::string& cur = "0000100")
    {
        fs::current_path(dir.Path());
        RemoveTree("game");
        WriteTree("game", kOldGame);
        WriteBytes("game/PatchCfg/NewUpdateCfg.xml", LocalConfig(cur));
        fs::permissions("game/Data/ReadOnly.txt", fs::perms::owner_write, fs::perm_options::remove);
        fs::current_path("game");
    }
    // Installs into game (the current directory when empty), then commits or
    // rolls back as the engine does; without finish, stops after the moves as a
    // crash there would.
    EInstallError Install(const fs::path& package, const SLockWait* wait = nullptr, std::wstring game = L"",
                          bool finish = true)
    {
        if (game.empty()) game = fs::current_path().wstring() + L"\\";
        CInstallJournal journal(game);
        CPatchInstaller installer(journal);
        if (wait) installer.SetLockWait(*wait);
        installer.SetGameDir(game);
        installer.SetFaults(faults);
        installer.SetDiskBudget(disk.get());
        installer.SetTempDir(game + L"PatchCfg\\PatchTemp\\");
        installer.SetPackage(package.wstring());
        bool ok = installer.ExtractPackage() && installer.CopyFiles();
        if (!finish) return ok ? INSTALL_OK : installer.Error();
        ok = ok && installer.VerifyFiles();
        if (ok)
            committed = journal.Commit();
        else
            undone = journal.Rollback(nullptr);
        locked = installer.LockedPath();
        return ok ? INSTALL_OK : installer.Error();
    }

    static fs::path s_work;
    ScopedTestDir dir;
    InstallFaults faults;  // given to each installation
    std::unique_ptr<CDiskBudget> disk;
    // What the last installation did.
    bool committed = false;
    ERecovery undone = RECOVERY_NOTHING;
    std::wstring locked;
};
fs::path InstallTest::s_work;

}  // namespace

// Packages of our own making (and one linked by windres) on a fresh
// installation at a version, over what an earlier run left in the temp
// directory (never installed): the refused ones touch nothing.
TEST_F(InstallTest, PackagesInstallOnlyWhenUsableWholeAndForTheInstalledVersion)
{
    const fs::path w = dir.Path();
    const std::string staleList = FileListXml("0000100", "0000101", AddItem("stale.txt", "stale"));
    const EInstallError refused = INSTALL_REFUSED_NAME, bad = INSTALL_BAD_PACKAGE, range = INSTALL_VERSION_RANGE;
    const auto list = [](const std::string& path, const char* installer = "1.0.0") {
        return FileListXml("0000100", "0000101", AddItem(path, "e"), installer);
    };
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    WriteBytes(w / "notpe.exe", "this is no executable at all");
    // before, after: written into the game first; found there after an installation
    struct Case { fs::path package; EInstallError result; std::string client; Tree before, after; };
    std::vector<Case> cases = {{w / "notpe.exe", bad, "0000100", {}, {}},
                               {self, bad, "0000100", {}, {}},
                               {w / "missing.exe", INSTALL_UNREADABLE, "0000100", {}, {}},
                               {FixtureDir("TW_ZIP_DIR") / "windres_package.exe", INSTALL_OK, "0000100", {},
                                {{"fromwindres.txt", "linked by windres\n"}}}};
    const auto craft = [&](const std::string& fileList, const Tree& entries, EInstallError result,
                           const std::string& client = "0000100", const Tree& before = {}, const Tree& after = {}) {
        cases.push_back({w / ("p" + std::to_string(cases.size()) + ".exe"), result, client, before, after});
        CraftPackage(cases.back().package, fileList, entries);
    };
    const auto again = [&](EInstallError result, const std::string& client, const Tree& after = {}) {
        cases.push_back({cases.back().package, result, client, {}, after});
    };
    craft("", {{"stale.txt", "not listed"}}, bad);
    craft(list("a.txt", "2.0.0"), {{"a.txt", "e"}}, bad);
    craft(list("a.txt"), {{"a.txt", "e"}, {"../evil.txt", "e"}}, refused);
    craft(list("..\\evil.txt"), {{"evil.txt", "e"}}, refused);
    craft(list("C:\\evil.txt"), {{"evil.txt", "e"}}, refused);
    craft(list("PatchCfg\\PatchTemp\\evil.txt"), {{"PatchCfg/PatchTemp/evil.txt", "e"}}, refused);
    // Packages may not touch the local configuration, the engine's folders or devices.
    for (const char* path : {"PatchCfg\\NewUpdateCfg.xml", "PatchCfg\\.\\PatchTemp\\x.txt", "PatchCfg\\\\PatchTemp\\x.txt",
                             "PatchCfg\\PatchBackup\\journal.txt", "COM1", "Data\\nul.txt", "a.txt."})
        craft(list(path), {{"a.txt", "e"}}, refused);
    // A listed file the package lacks fails its digest, unless the game has it right already.
    const std::string ghost = FileListXml("0000100", "0000101", AddItem("ghost.txt", "ghost") + AddItem("real.txt", "real"));
    craft(ghost, {{"real.txt", "real"}}, INSTALL_DIGEST_ERROR);
    craft(ghost, {{"real.txt", "real"}}, INSTALL_OK, "0000100", {{"ghost.txt", "ghost"}}, {{"real.txt", "real"}});
    // The launcher is replaced at its next start, whatever its name attribute says.
    craft(FileListXml("0000100", "0000101",
                      "<add name=\"data.bin\" path=\"Launcher.EXE\" size=\"6\" checktype=\"md5\" checksum=\"" +
                          Md5HexOf("MZ new") + "\"/>"),
          {{"Launcher.EXE", "MZ new"}}, INSTALL_OK, "0000100", {}, {{"launcher.exe", "MZ old"}, {"Launcher.EXE.new", "MZ new"}});
    // The installed version must be in the package's range; a degrade package goes down.
    craft("<root><Installer version=\"1.0.0\"/><Version internal=\"0000101\"/><FileList/></root>", {}, range);
    const Tree a = {{"a.txt", "a"}};
    craft(FileListXml("0000200", "0000300", AddItem("a.txt", "a")), a, range);
    again(INSTALL_OK, "0000200", a);
    again(INSTALL_OK, "0000300", a);
    again(range, "0000301");
    again(range, "");
    craft(FileListXml("0000300", "0000200", AddItem("a.txt", "a")), a, INSTALL_OK, "0000250", {}, a);
    again(range, "0000301");
    again(range, "0000199");
    for (const Case& c : cases) {
        const std::string what = c.package.filename().string() + " at " + c.client;
        FreshGame(c.client);
        WriteTree(".", c.before);
        WriteBytes("PatchCfg/PatchTemp/filelist.xml", staleList);
        WriteBytes("PatchCfg/PatchTemp/stale.txt", "stale");
        const Snapshot before = TakeSnapshot(".");
        RecordedMessageBoxes().clear();
        ASSERT_EQ(Install(c.package), c.result) << what;
        EXPECT_TRUE(c.result == INSTALL_OK || TakeSnapshot(".") == before) << what << ": touched";
        EXPECT_FALSE(fs::exists(w / "evil.txt") || fs::exists("stale.txt")) << what;
        for (const auto& f : c.after) EXPECT_EQ(ReadBytes(f.first), f.second) << what << ": " << f.first;
        // The digest failure names the file on screen.
        const auto& boxes = RecordedMessageBoxes();
        EXPECT_EQ(boxes.size() == 1 && boxes[0].text.find(L"ghost.txt") != std::wstring::npos,
                  c.result == INSTALL_DIGEST_ERROR) << what;
    }
    // Windows finds the resource of ours too.
    HMODULE module = LoadLibraryExW((s_work / "pkg.exe").wstring().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(135), L"RT_RCDATA");
    ASSERT_NE(res, nullptr);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, res)));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes, 4), "PK\x03\x04");
    FreeLibrary(module);
}

TEST_F(InstallTest, AFailureAtAnyStepOrAFullDiskLeavesTheGameAsItWas)
{
    // Steps: the items from the last child of the list to the first (the
    // delete of gone.txt, four copies; Revision.xml is never deleted), then
    // the version write. A delete that fails is passed over. 7: a full disk.
    for (unsigned step = 0; step <= 7; ++step) {
        FreshGame();
        const Snapshot before = TakeSnapshot(".");
        g_failStep = step;
        faults = step < 7 ? InstallFaults(&FailAt) : nullptr;
        if (step == 7) disk.reset(new CDiskBudget(10));
        const EInstallError error = Install(s_work / "pkg.exe");
        faults = nullptr;
        disk.reset();
        EXPECT_FALSE(fs::exists("PatchCfg/PatchBackup/journal.txt")) << step;
        if (step == 0 || step == 6) {
            EXPECT_EQ(error, INSTALL_OK) << step;
            EXPECT_EQ(fs::exists("gone.txt"), step == 0);
            continue;
        }
        EXPECT_EQ(error, step == 7 ? INSTALL_DISK_FULL : step == 5 ? INSTALL_VERSIONS_NOT_SAVED : INSTALL_COPY_ERROR)
            << step;
        EXPECT_EQ(TakeSnapshot("."), before) << "failed at step " << step;
    }
}

// Names in other scripts go through packing, installing and the recovery of a
// journal that a crash left, byte for byte.
TEST_F(InstallTest, NamesInAnyScriptInstallAndRecoverExactly)
{
    Tree from = kOldGame, to = kNewGame;
    from[u8"\u6570\u636e/\u5730\u56fe.pak"] = "cjk 1";
    to[u8"\u6570\u636e/\u5730\u56fe.pak"] = "cjk 2";
    to[u8"Donn\u00e9es/caf\u00e9/r\u00e9sum\u00e9.txt"] = "latin";
    to[u8"\U0001F600/emoji\U0001F600.txt"] = "emoji";
    PackStep(s_work / "scripts", from, to, "0000100", "0000200", "pkg.exe");
    const fs::path package = s_work / "scripts" / "pkg.exe";
    auto fresh = [&] {
        FreshGame();
        WriteTree(".", from);
        return TakeSnapshot(".");
    };
    Snapshot before = fresh();
    ASSERT_EQ(Install(package), INSTALL_OK);
    Tree files = TakeSnapshot(".").files;
    for (const auto& f : to) {
        if (f.first == "launcher.exe") continue;  // replaced at the next start
        EXPECT_EQ(files[f.first], f.second) << f.first;
    }

    // Cut short after the moves: the next start finds the journal and undoes them
    // (an installation that fails undoes itself the same way).
    before = fresh();
    ASSERT_EQ(Install(package, nullptr, L"", false), INSTALL_OK);
    EXPECT_FALSE(TakeSnapshot(".") == before);
    EXPECT_EQ(CInstallJournal::Recover(fs::current_path().wstring() + L"\\", nullptr), RECOVERY_DONE);
    EXPECT_EQ(TakeSnapshot("."), before);
}

TEST(RevisionXmlTest, LookupsWalkTheChainOneStepAtATime)
{
    ScopedTestDir dir;
    WriteBytes("Revision.xml",
               "<Revisions><r interversion=\"0000300\" prevversion=\"0000200\"><upgrade filename=\"u300\" size=\"30\"/>"
               "<degrade filename=\"d300\" checksum=\"c\"/></r>"
               "<r interversion=\"0000200\" prevversion=\"0000100\"><upgrade filename=\"u200\"/><degrade filename=\"d200\"/></r>"
               "<r interversion=\"0000200\" prevversion=\"0000050\"><upgrade filename=\"dup\"/></r></Revisions>");
    std::vector<std::wstring> log;
    const LogSink sink = [&](const std::wstring& line) { log.push_back(line); };
    CRevisionXml table;
    ASSERT_TRUE(table.Load("Revision.xml", sink));
    EXPECT_EQ(table.Count(), 2u) << "a repeated interversion is dropped";
    const struct {
        const char *from, *to; bool up; const char *file, *step;
    } cases[] = {{"0000100", "0000300", true, "u200", "0000200"}, {"0000200", "0000300", true, "u300", "0000300"},
                 {"0000100", "0000150", true, "", "0000150"},  // the only step from 100 leads past the server
                 {"0000300", "0000100", false, "d300", "0000200"}};
    for (const auto& c : cases) {
        SRevision q;
        q.prevversion = c.from;
        q.interversion = c.to;
        c.up ? table.FindUpgrade(q) : table.FindDegrade(q);
        EXPECT_EQ(c.up ? q.upgrade.filename : q.degrade.filename, c.file) << c.from << "->" << c.to;
        EXPECT_EQ(c.up ? q.interversion : q.prevversion, c.step) << c.from << "->" << c.to;
    }
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(table.Load("missing.xml", sink));
    EXPECT_EQ(table.Count(), 0u);
    WriteBytes("empty.xml", "<!-- nothing -->");
    EXPECT_FALSE(table.Load("empty.xml", sink));
    EXPECT_EQ(log.size(), 2u);
}

// Written and read through the \\?\ form: std::filesystem stops at MAX_PATH.
void WriteLong(const std::wstring& path, const std::string& bytes)
{
    MakeDirectories(GetParentDir(path));
    Base::Utility::CFileHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD n = 0;
    ASSERT_TRUE(f.Valid() && WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr)) << path.size();
}

void RemoveLongTree(const std::wstring& dir)
{
    WalkDirectory(dir, [](const std::wstring& path) { DeleteFileForced(path); },
                  [](const std::wstring& d) { RemoveDirectoryW(d.c_str()); });
}

std::string ReadLong(const std::wstring& path)
{
    Base::Utility::CFileHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes(1 << 16, '\0');
    DWORD n = 0;
    if (!f.Valid() || !ReadFile(f.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &n, nullptr)) return "<missing>";
    bytes.resize(n);
    return bytes;
}

// A game deep in a folder tree: every path of its files passes MAX_PATH.
// The installation, and its undo after a failure half-way, work as anywhere.
TEST_F(InstallTest, AGameDeepInAFolderTreeInstallsAndUndoesPastMaxPath)
{
    const std::wstring game =
        LongPathForm(dir.Path().wstring() + L"\\" + std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e') + L"\\");
    ASSERT_GT(game.size(), 260u);
    // Wine takes long paths in any form; Windows only in this one.
    const std::pair<std::wstring, std::wstring> forms[] = {{L"C:\\Games\\x", L"\\\\?\\C:\\Games\\x"},
                                                           {L"\\\\srv\\share\\g\\", L"\\\\?\\UNC\\srv\\share\\g\\"},
                                                           {L"\\\\?\\C:\\x", L"\\\\?\\C:\\x"},
                                                           {L"Data\\a.pak", L"Data\\a.pak"}};
    for (const auto& f : forms) EXPECT_EQ(LongPathForm(f.first), f.second);
    const auto path = [&](const std::string& rel) {
        return game + Base::Utility::WithBackslashes(Base::Utility::Utf8ToWide(rel));
    };
    for (const bool failing : {false, true}) {
        RemoveLongTree(game);
        for (const auto& f : kOldGame) WriteLong(path(f.first), f.second);
        WriteLong(path("PatchCfg/NewUpdateCfg.xml"), LocalConfig("0000100"));
        g_failStep = 3;
        faults = failing ? InstallFaults(&FailAt) : nullptr;
        EXPECT_EQ(Install(s_work / "pkg.exe", nullptr, game) == INSTALL_OK, !failing);
        EXPECT_TRUE(failing ? undone == RECOVERY_DONE : committed) << failing;
        for (const auto& f : failing ? kOldGame : kInstalledNewGame)
            EXPECT_EQ(ReadLong(path(f.first)), f.second) << f.first << failing;
    }
    faults = nullptr;
    RemoveLongTree(game);
}

// Another program holds a file open without share-delete: for a while, the
// installation waits and goes on; for good, it stops, names the file and
// leaves the game as it was.
// Also among forty files, whose moves and clean-up run on several threads:
// a file in use half-way still leaves every file as it was.
TEST_F(InstallTest, AFileInUseIsWaitedForThenNamedAndNothingIsMixed)
{
    Tree manyOld = kOldGame, manyNew = kNewGame, extra;
    for (int i = 0; i < 40; ++i) {
        const std::string f = "Many/" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt";
        manyNew[f] = "new " + (extra[f] = manyOld[f] = "old " + f);
    }
    PackStep(s_work / "many", manyOld, manyNew, "0000100", "0000200", "pkg.exe");
    for (const bool many : {false, true})
    for (const bool forGood : {false, true}) {
        FreshGame();
        if (many) WriteTree(".", extra);
        const Snapshot before = TakeSnapshot(".");
        const wchar_t* usedFile = many ? L"Many\\1\\f22.txt" : L"Data\\changed.bin";
        Base::Utility::CFileHandle held(CreateFileW(usedFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, 0));
        ASSERT_TRUE(held.Valid());
        std::thread release = forGood ? std::thread() : std::thread([&] { Sleep(300), held.Reset(); });
        std::vector<std::wstring> waited;
        const SLockWait wait = {1500, [&](const std::wstring& path) { waited.push_back(path); }};
        const auto start = std::chrono::steady_clock::now();
        const EInstallError result = Install(s_work / (many ? "many/pkg.exe" : "pkg.exe"), &wait);
        const auto took = std::chrono::steady_clock::now() - start;
        if (release.joinable()) release.join();
        ASSERT_EQ(waited.size(), 1u) << forGood << many;
        EXPECT_NE(waited[0].find(usedFile), std::wstring::npos);
        if (!forGood) {
            EXPECT_EQ(result, INSTALL_OK);
            EXPECT_EQ(ReadBytes("Data/changed.bin"), "after!");
            for (const auto& f : many ? extra : Tree()) EXPECT_EQ(ReadBytes(f.first), manyNew[f.first]);
            EXPECT_FALSE(fs::exists("PatchCfg/PatchBackup")) << many;
            continue;
        }
        EXPECT_EQ(result, INSTALL_FILE_LOCKED);
        EXPECT_EQ(locked, usedFile);
        EXPECT_GE(took, std::chrono::milliseconds(1400));
        EXPECT_TRUE(RecordedMessageBoxes().empty()) << "the cause goes on screen, not into a box";
        held.Reset();
        EXPECT_EQ(TakeSnapshot("."), before) << many;
    }
}

TEST_F(InstallTest, ADamagedJournalKeepsEveryBackupAndProvesNothing)
{
    const std::string h = kJournalHeader;
    for (const std::string& journal : {std::string(), h + "B\tData\\changed.bin\r\n", std::string("\x01\x02garbage\n"),
                                       h + "N\tgone.txt\n", std::string("<none>")}) {
        FreshGame();
        WriteBytes("PatchCfg/PatchBackup/Data/changed.bin", "the only copy of the old file");
        if (journal != "<none>") WriteBytes("PatchCfg/PatchBackup/journal.txt", journal);
        const Snapshot before = TakeSnapshot(".");
        std::wstring why;
        EXPECT_EQ(CInstallJournal::Recover(fs::current_path().wstring() + L"\\", nullptr, &why), RECOVERY_DAMAGED)
            << journal;
        EXPECT_FALSE(why.empty());
        // No installation starts over it.
        EXPECT_EQ(Install(s_work / "pkg.exe"), INSTALL_NEEDS_REPAIR) << journal;
        EXPECT_EQ(ReadBytes("PatchCfg/PatchBackup/Data/changed.bin"), "the only copy of the old file") << journal;
        EXPECT_EQ(TakeSnapshot("."), before) << journal;
    }
}

// An executable of calls whose targets all move when code is inserted before them.
std::string CallsImage(size_t inserted, size_t size = 200u << 10)
{
    std::string image = UncompressibleBytes(size);
    image.replace(0, 2, "MZ");
    image.replace(0x3C, 4, std::string("\x40\0\0\0", 4));  // where the PE header is
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    for (size_t at = 0x400; at + 5 < image.size(); at += 23) {
        const std::uint32_t target = 0x1000 + static_cast<std::uint32_t>(at * 7 % 40000);
        const std::uint32_t rel = target - static_cast<std::uint32_t>(at + 5 + (at > 0x2000 ? inserted : 0));
        image[at] = '\xE8';
        for (int i = 0; i < 4; ++i) image[at + 1 + i] = static_cast<char>(rel >> (8 * i));
    }
    std::string code;  // new bytes, matched by nothing old
    for (size_t i = 0; i < inserted; ++i) code += static_cast<char>(0xC1 + 7 * i);
    image.insert(0x2000, code);
    return image;
}

TEST_F(InstallTest, DeltasApplyToTheInstalledFileBeforeAnythingChanges)
{
    // Large enough for the result's digest to be taken aside.
    const std::string big = UncompressibleBytes(2u << 20);
    std::string bigNew = big;
    bigNew.insert(700000, "a new record");
    const fs::path w = dir.Path();
    Tree oldTree = kOldGame, newTree = kNewGame;
    oldTree["Data/big.pak"] = big;
    newTree["Data/big.pak"] = bigNew;
    // Each kind of delta: moved code, and small scripts sharing one edit (one solid bundle).
    oldTree["Binaries/Game.exe"] = CallsImage(0, 1200u << 10);
    newTree["Binaries/Game.exe"] = CallsImage(300, 1200u << 10);
    for (int i = 0; i < 12; ++i) {
        std::string script;
        for (int line = 0; line < 80; ++line) script += "local v" + std::to_string(line * i) + " = call(" + std::to_string(i) + ")\n";
        oldTree["Scripts/s" + std::to_string(i) + ".lua"] = script;
        newTree["Scripts/s" + std::to_string(i) + ".lua"] = "-- v2\n" + script + "return v0\n";
    }
    PackStep(w, oldTree, newTree, "0000100", "0000200", "delta.exe", true);
    // Packages of our own making: damaged deltas, transforms the applier does not
    // know or that do not restore, a slice outside its bundle, a wrong result.
    std::string error;
    const auto delta = [&](const std::string& from, const std::string& to, bool diff) {
        WriteBytes(w / "old.bin", from);
        WriteBytes(w / "new.bin", to);
        const std::string o = (w / "old.bin").string(), n = (w / "new.bin").string(), d = (w / "d.bin").string();
        std::uint64_t size = 0;
        EXPECT_TRUE(diff ? WriteDiffDelta(o, n, d, false, &size, &error) : WriteDelta(o, n, d, SDeltaOptions(), &size, &error));
        return ReadBytes(w / "d.bin");
    };
    const std::string code = oldTree["Binaries/Game.exe"], codeNew = newTree["Binaries/Game.exe"];
    const std::string zstdDelta = delta(big, bigNew, false), plainCode = delta(code, codeNew, false);
    std::string damaged = zstdDelta, unknownFlag = delta(big, bigNew, true);
    damaged[damaged.size() / 2] ^= 0x40;
    unknownFlag[52] |= 4;
    std::string bundle, packed;
    unsigned char head[kSolidHeaderBytes];
    ASSERT_TRUE(CompressLzma("a few plain bytes", 4096, &packed, &error));
    EncodeSolidHeader(17, 4096, head);
    bundle.assign(reinterpret_cast<const char*>(head), sizeof head);
    const struct { const char* name; std::string kind, delta, base, result; } crafted[] = {
        {"damaged.exe", "zstd", damaged, big, bigNew}, {"wrong.exe", "zstd", zstdDelta, big, "another result"},
        {"unknown.exe", "bsdiff", zstdDelta, big, bigNew}, {"flag.exe", "diff-lzma", unknownFlag, big, bigNew},
        // A delta made without the x86 filter does not restore through it.
        {"x86.exe", "zstd-x86", plainCode, code, codeNew},
        {"slice.exe", "diff-solid\" deltaslice=\"4:1000", "", big, bigNew},
    };
    // An installation over the old game whose Data/big.pak is installed; one that fails changes nothing.
    const auto install = [&](const fs::path& package, const std::string& installed) {
        FreshGame();
        WriteTree(".", oldTree);
        WriteBytes("Data/big.pak", installed);
        const Snapshot before = TakeSnapshot(".");
        const EInstallError result = Install(package);
        EXPECT_TRUE(result == INSTALL_OK || TakeSnapshot(".").files == before.files) << package;
        return result;
    };
    ASSERT_EQ(install(w / "delta.exe", big), INSTALL_OK);
    for (const auto& f : newTree)  // the launcher is replaced at its next start
        EXPECT_TRUE(ReadBytes(f.first == "launcher.exe" ? "launcher.exe.new" : f.first) == f.second) << f.first;
    EXPECT_NE(ReadBytes("PatchCfg/NewUpdateCfg.xml").find("<CurVersion>0000200<"), std::string::npos);
    const std::string list = ReadBytes("PatchCfg/PatchTemp/filelist.xml");
    EXPECT_NE(list.find("delta=\"diff-solid\""), std::string::npos) << list;
    const size_t exe = list.find("Binaries\\Game.exe");
    EXPECT_LT(list.find("delta=\"diff-lzma\"", exe), list.find("/>", exe)) << "the moved code, filtered: " << list;
    EXPECT_EQ(install(w / "delta.exe", std::string(big.size(), 'p')), INSTALL_DELTA_BASE);
    for (const auto& c : crafted) {
        Tree entries = {{"Data/big.pak", c.delta}};
        if (c.delta.empty()) entries = {{"filelist.deltas", bundle + packed}};
        CraftPackage(w / c.name,
                     FileListXml("0000100", "0000200", DeltaItem(bigNew, c.base, Md5HexOf(c.result), c.kind), "1.1.0"),
                     entries);
        EXPECT_EQ(install(w / c.name, c.base), INSTALL_DELTA_DAMAGED) << c.name;
    }
    EXPECT_LT(fs::file_size(w / "delta.exe"), 100000u) << "the big file travels as a delta";
}
