// The engine's installation step: the package installed, the versions
// saved, the temp files deleted, and every failure undone, also after a crash.
#include <gtest/gtest.h>

#include <cstdlib>

#include "EngineTestUtil.h"
#include "GameFixture.h"
#include "base/utility/StringTable.h"
#include "transfer/Directories.h"
#include "transfer/JournalText.h"
#include "transfer/Md5.h"
#include "transfer/PatchInstaller.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

namespace {

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadStringTable(L"", nullptr);
        RecordedMessageBoxes().clear();
        PackStep(dir.Path(), kOldGame, kNewGame, "0000100", "0000200", "pkg.exe");
        WriteTree("game", kOldGame);
        WriteBytes("game/PatchCfg/NewUpdateCfg.xml", LocalConfig("0000100"));
        fs::current_path("game");
        before = TakeSnapshot(".");
        ASSERT_TRUE(engine.Initialize(window.Handle(), true, nullptr, nullptr, nullptr));
        engine.m_strPackagePath = (dir.Path() / "pkg.exe").string();
        engine.m_Plan.interversion = "0000200";
    }
    void TearDown() override { engine.CloseLog(true); }

    ScopedTestDir dir;
    CRecordingWindow window;
    CUpdateEngine engine;
    Snapshot before;
};

}  // namespace

TEST_F(SetupTest, AnAutomaticUpdateInstallsSavesThePlannedVersionAndCleansUp)
{
    ASSERT_TRUE(engine.Setup(0.3f, 1.0f));
    EXPECT_EQ(engine.Outcome(), OUTCOME_INSTALLED);
    EXPECT_TRUE(window.Received(WM_UPDATE_COMPLETE));
    // Rising to 1000, then 101 for done.
    const std::vector<LPARAM> p = window.Values(WM_DOWNLOAD_PROGRESS);
    ASSERT_GE(p.size(), 2u);
    EXPECT_EQ(p[p.size() - 2], 1000);
    EXPECT_EQ(p.back(), 101);
    for (size_t i = 1; i + 1 < p.size(); ++i) EXPECT_LE(p[i - 1], p[i]) << i;
    Tree files = TakeSnapshot(".").files;
    files.erase("PatchCfg/NewUpdateCfg.xml");
    EXPECT_EQ(files, kInstalledNewGame);
    engine.initBasic();  // how the versions move: UpdateCfgTest
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000200");
    EXPECT_FALSE(fs::exists("PatchCfg/PatchBackup"));
    EXPECT_TRUE(RecordedMessageBoxes().empty());
    // The temp files go; the open log stays.
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator("PatchCfg/PatchTemp"), {}),
              std::vector<fs::path>{fs::path("PatchCfg/PatchTemp") / "Tidewell.log"});
}

TEST_F(SetupTest, VersionsThatCannotBeSavedUndoTheInstallation)
{
    EXPECT_FALSE(engine.ParseUpdateCfg("PatchCfg\\Missing.xml"));  // a configuration that did not load is not saved
    EXPECT_FALSE(engine.Setup(0.3f, 1.0f));
    EXPECT_EQ(engine.Outcome(), OUTCOME_INSTALL_FAILED);
    EXPECT_EQ(engine.Result().InstallError(), INSTALL_VERSIONS_NOT_SAVED);
    EXPECT_TRUE(window.Received(WM_AUTOPATCH_STOP));
    EXPECT_EQ(TakeSnapshot("."), before);
    EXPECT_EQ(ErrLogs().size(), 1u);
}

// Runs only as the child of ACrashMidInstallIsUndoneAtTheNextStart: dies
// at the version write, after every file has been moved.
TEST(SetupCrashChild, DiesHalfWay)
{
    if (std::getenv("TW_CRASH_DIR") == nullptr) GTEST_SKIP() << "helper of another test";
    fs::current_path(std::getenv("TW_CRASH_DIR"));
    CUpdateEngine engine;
    ASSERT_TRUE(engine.Initialize(nullptr, true, nullptr, nullptr, nullptr));
    engine.m_strPackagePath = engine.m_strManualPatchPath = std::getenv("TW_CRASH_PACKAGE");
    engine.SetInstallFaults([](unsigned step) { return step == 5 && TerminateProcess(GetCurrentProcess(), 99); });
    engine.Setup(0.3f, 1.0f);
    FAIL() << "should have died";
}

TEST_F(SetupTest, ACrashMidInstallIsUndoneAtTheNextStart)
{
    engine.CloseLog(true);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(L"TW_CRASH_DIR", fs::current_path().wstring().c_str());
    SetEnvironmentVariableW(L"TW_CRASH_PACKAGE", (dir.Path() / "pkg.exe").wstring().c_str());
    std::wstring cmd = L"\"" + std::wstring(self) + L"\" --gtest_filter=SetupCrashChild.*";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(self, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    SetEnvironmentVariableW(L"TW_CRASH_DIR", nullptr);
    ASSERT_EQ(code, 99u) << "the child did not die";
    EXPECT_FALSE(TakeSnapshot(".") == before) << "the crash changed nothing";
    // The next start puts everything back before reading the configuration.
    CUpdateEngine next;
    ASSERT_TRUE(next.Initialize(window.Handle(), true, nullptr, nullptr, nullptr));
    EXPECT_EQ(TakeSnapshot("."), before);
    EXPECT_FALSE(fs::exists("PatchCfg/PatchBackup"));
    EXPECT_NE(LogText("PatchCfg/PatchTemp/Tidewell.log").find(L"rollback file:"), std::wstring::npos);
    EXPECT_EQ(next.GetLocalVersionStr(), "0000100");
    next.CloseLog(true);
}

TEST_F(SetupTest, ADamagedJournalStopsTheEngineWithTheBackupsKept)
{
    engine.CloseLog(true);
    WriteBytes("PatchCfg/PatchBackup/journal.txt", "B\tData\\changed.bin\r\n");
    WriteBytes("PatchCfg/PatchBackup/Data/changed.bin", "before");
    CUpdateEngine next;
    EXPECT_FALSE(next.Initialize(window.Handle(), true, nullptr, nullptr, nullptr));
    EXPECT_EQ(next.Outcome(), OUTCOME_NEEDS_REPAIR);
    EXPECT_EQ(next.Fault(), FAULT_NEEDS_REPAIR);
    EXPECT_EQ(ReadBytes("PatchCfg/PatchBackup/Data/changed.bin"), "before");
    const std::vector<std::string> errs = ErrLogs();
    ASSERT_EQ(errs.size(), 1u);
    EXPECT_NE(LogText(fs::path("PatchCfg/PatchTemp") / errs[0]).find(L"Error:the installation needs repair"),
              std::wstring::npos);
}

// A failed installation leaves the temp folder as it found it (a full disk
// before the first byte is written), and its undo deletes only files that it
// can prove the installation wrote.
TEST_F(SetupTest, FailuresLeaveNoPartialUnpackAndTheUndoTouchesOnlyWhatTheInstallationWrote)
{
    auto tempFiles = [] {
        std::vector<std::string> files;
        for (auto& e : fs::recursive_directory_iterator("PatchCfg/PatchTemp"))
            if (e.path().extension() != ".log" && e.path().extension() != ".err")
                files.push_back(e.path().generic_string());
        return files;
    };
    for (const bool diskFull : {true, false}) {
        engine.ClearFault();
        CDiskBudget disk(100);
        engine.SetDiskBudget(diskFull ? &disk : nullptr);
        engine.SetInstallFaults(diskFull ? InstallFaults() : [](unsigned step) { return step == 2; });
        EXPECT_FALSE(engine.Setup(0.3f, 1.0f));
        engine.SetDiskBudget(nullptr);
        engine.SetInstallFaults(nullptr);
        EXPECT_EQ(engine.Result().InstallError(), diskFull ? INSTALL_DISK_FULL : INSTALL_COPY_ERROR);
        EXPECT_EQ(tempFiles(), std::vector<std::string>()) << diskFull;
        EXPECT_EQ(TakeSnapshot("."), before) << diskFull;
        engine.InitLogSystem();
    }
    std::wstring logs;
    for (const std::string& err : ErrLogs()) logs += LogText(fs::path("PatchCfg/PatchTemp") / err);
    EXPECT_NE(logs.find(L"MiB more to unpack"), std::wstring::npos);

    // A journal that names the engine's files, a file another wrote or one
    // nothing was to be written to: those stay, and the log says so.
    WriteBytes("new.txt", "written by the installation");
    const std::string config = ReadBytes("PatchCfg/NewUpdateCfg.xml");
    WriteBytes("PatchCfg/PatchBackup/journal.txt",
               std::string(kJournalHeader) + "N\tPatchCfg\\NewUpdateCfg.xml\t" + Md5HexOf(config) + "\n" +
                   "N\tsame.txt\t" + Md5HexOf("something else") + "\nN\tgone.txt\n" + "N\tnew.txt\t" +
                   Md5HexOf("written by the installation") + "\n");
    EXPECT_EQ(engine.RecoverInstallation(), RECOVERY_DONE);
    EXPECT_FALSE(fs::exists("new.txt"));
    EXPECT_EQ(TakeSnapshot("."), before);
    const std::wstring log = LogText("PatchCfg/PatchTemp/Tidewell.log");
    for (const wchar_t* line : {L"rollback of PatchCfg\\NewUpdateCfg.xml ignored: the engine's own file",
                                L"rollback of same.txt ignored: not the file the installation wrote",
                                L"rollback of gone.txt ignored: nothing was to be written there", L"rollback file:new.txt"})
        EXPECT_NE(log.find(line), std::wstring::npos) << line;
}
