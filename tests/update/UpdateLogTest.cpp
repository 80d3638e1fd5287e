#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "base/utility/StringTable.h"
#include "update/UpdateEngine.h"

namespace {

class UpdateLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ListenerTexts().clear();
        RecordedMessageBoxes().clear();
        WriteStringTable(dir.Path(), {{L"eAuto_Runing", L"Auto"}, {L"GET_ALL_UPDATEINFO", L"Info: all?"},
                                      {L"ePath_init_fail", L"Configuration unreadable"}});
        LoadStringTable(dir.Path().wstring() + L"\\", nullptr);
    }
    std::wstring Log() { return LogText("PatchCfg/PatchTemp/Tidewell.log"); }

    ScopedTestDir dir;
    CUpdateEngine engine;
};

}  // namespace

TEST_F(UpdateLogTest, AUtf16LogWhereTheTargetsDecideWhatGoesRenamedOnlyWhenUnfinished)
{
    engine.SetInfoOutputCallback(&RecordListenerText);
    engine.SetLog(LOG_TO_FILE | LOG_TO_INFO, L"x");  // without a log file only listeners hear
    EXPECT_FALSE(fs::exists("PatchCfg"));
    engine.m_nRunMode = RUNMODE_MANUAL_PATCH;
    engine.m_nFinished = 1;
    ASSERT_TRUE(engine.InitLogSystem());
    EXPECT_EQ(engine.m_nRunMode, static_cast<unsigned>(RUNMODE_AUTO));
    EXPECT_EQ(engine.m_nFinished, 0u);
    EXPECT_EQ(ReadBytes("PatchCfg/PatchTemp/Tidewell.log").substr(0, 2), "\xFF\xFE");
    const size_t header = Log().size();
    engine.SetLog(LOG_TO_INFO, L"status %s %u", L"\x4E2D", 7u);
    engine.SetLog(LOG_TO_FILE | LOG_TO_INFO, L"both");
    engine.SetLog(LOG_TO_FILE, L"file %s:%u", L"only", 0xFFFFFFFFu);
    engine.SetLog(LOG_TO_FILE | LOG_TO_INFO, nullptr);
    EXPECT_EQ(ListenerTexts(), (std::vector<std::wstring>{L"x\r\n", L"status \x4E2D 7", L"both\r\n"}));
    EXPECT_EQ(Log().substr(header), L"both\r\nfile only:4294967295\r\nOutputInfo:null\r\n");

    // Only an unfinished run is renamed after its run mode, and none is lost.
    engine.m_nFinished = 1;
    engine.CloseLog(false);
    EXPECT_FALSE(engine.IsLogOpen());
    engine.InitLogSystem();
    engine.CloseLog(true);
    EXPECT_TRUE(ErrLogs().empty());
    EXPECT_TRUE(fs::exists("PatchCfg/PatchTemp/Tidewell.log"));

    // Within one second: every log is kept, named with a safe form of the tag's text.
    for (const ERunMode mode : {RUNMODE_AUTO, RUNMODE_AUTO, RUNMODE_GET_ALL_UPDATEINFO}) {
        engine.InitLogSystem();
        engine.m_nRunMode = mode;
        engine.SetLog(LOG_TO_FILE, L"step failed");
        engine.CloseLog(false);
    }
    EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/Tidewell.log"));
    const std::vector<std::string> errs = ErrLogs();
    ASSERT_EQ(errs.size(), 3u);
    EXPECT_EQ(std::count_if(errs.begin(), errs.end(), [](const std::string& n) { return n.rfind("Auto20", 0) == 0; }), 2);
    EXPECT_EQ(std::count_if(errs.begin(), errs.end(), [](const std::string& n) { return n.rfind("Info_ all_", 0) == 0; }), 1);
    EXPECT_NE(LogText(fs::path("PatchCfg/PatchTemp") / errs[0]).find(L"step failed"), std::wstring::npos);
}

TEST_F(UpdateLogTest, AFailedInitialisationLeavesAReadableErrLogAndTellsThePlayer)
{
    CRecordingWindow window;
    EXPECT_FALSE(engine.Initialize(window.Handle(), true, nullptr, nullptr, nullptr));
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].text, L"Configuration unreadable");
    EXPECT_EQ(RecordedMessageBoxes()[0].type, static_cast<unsigned>(MB_ICONERROR));
    const std::vector<std::string> errs = ErrLogs();
    ASSERT_EQ(errs.size(), 1u);
    EXPECT_NE(LogText(fs::path("PatchCfg/PatchTemp") / errs[0]).find(L"initBasic() failed"), std::wstring::npos);
    EXPECT_FALSE(engine.StartAutopatch()) << "nothing starts after a failed initialisation";
}
