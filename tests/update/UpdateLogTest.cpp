#include <gtest/gtest.h>

#include <regex>

#include "EngineTestUtil.h"
#include "MessageBoxRecorder.h"
#include "base/utility/StringTable.h"
#include "update/UpdateEngine.h"

namespace {

class UpdateLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ListenerTexts().clear();
        LoadStringTable(L"", nullptr);
    }
    std::wstring Log() { return ReadUtf16File("PatchCfg/PatchTemp/Tidewell.log"); }
    std::vector<fs::path> ErrFiles()
    {
        std::vector<fs::path> out;
        for (auto& e : fs::directory_iterator("PatchCfg/PatchTemp"))
            if (e.path().extension() == ".err") out.push_back(e.path().filename());
        return out;
    }

    ScopedTestDir dir;
    CUpdateEngine engine;
};

std::vector<float> g_single, g_total;
void SingleProgress(float f) { g_single.push_back(f); }
void TotalProgress(float f) { g_total.push_back(f); }

}  // namespace

TEST_F(UpdateLogTest, HeaderOpensAUtf16LogAndResetsTheRunState)
{
    engine.m_nRunMode = 2;
    engine.m_nFinished = 1;
    ASSERT_TRUE(engine.InitLogSystem());
    EXPECT_EQ(engine.m_nRunMode, 1u);
    EXPECT_EQ(engine.m_nFinished, 0u);
    const std::string bytes = ReadBytes("PatchCfg/PatchTemp/Tidewell.log");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_TRUE(std::regex_match(Log(), std::wregex(L"Update Modual Log system Init Succeed!"
                                                    L"20[0-9]{2}\\.[1-9][0-9]?\\.[1-9][0-9]? "
                                                    L"[0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2}\r\n-{19}\r\n\r\n")))
        << "log: " << testing::PrintToString(Log());
}

TEST_F(UpdateLogTest, TargetsDecideWhereTheTextGoesAndWhetherItEndsTheLine)
{
    engine.InitLogSystem();
    engine.SetInfoOutputCallback(&RecordListenerText);
    const size_t header = Log().size();

    engine.SetLog(LOG_TO_INFO, L"status %s %u", L"\x4E2D", 7u);
    EXPECT_EQ(Log().size(), header);
    engine.SetLog(LOG_TO_FILE | LOG_TO_INFO, L"both");
    engine.SetLog(LOG_TO_FILE, L"file %s:%u", L"only", 0xFFFFFFFFu);
    engine.SetLog(LOG_TO_FILE | LOG_TO_INFO, nullptr);

    EXPECT_EQ(ListenerTexts(), (std::vector<std::wstring>{L"status \x4E2D 7", L"both\r\n"}));
    EXPECT_EQ(Log().substr(header), L"both\r\nfile only:4294967295\r\nOutputInfo:null\r\n");
}

TEST_F(UpdateLogTest, WithoutALogFileOnlyListenersHear)
{
    engine.SetInfoOutputCallback(&RecordListenerText);
    engine.SetLog(LOG_TO_FILE | LOG_TO_INFO, L"x");
    engine.CloseLog(false);
    EXPECT_EQ(ListenerTexts(), std::vector<std::wstring>{L"x\r\n"});
    EXPECT_FALSE(fs::exists("PatchCfg"));
}

TEST_F(UpdateLogTest, FinishedOrKeptRunKeepsTheLogName)
{
    engine.InitLogSystem();
    engine.m_nFinished = 1;
    engine.CloseLog(false);
    EXPECT_FALSE(engine.IsLogOpen());
    EXPECT_NE(Log().find(L"close log,ExitReason:1-1\r\n"), std::wstring::npos);

    engine.InitLogSystem();
    engine.CloseLog(true);
    EXPECT_NE(Log().find(L"close log,ExitReason:0-1\r\n"), std::wstring::npos);
    EXPECT_TRUE(ErrFiles().empty());
}

TEST_F(UpdateLogTest, UnfinishedRunIsRenamedAfterItsRunMode)
{
    WriteStringTable(dir.Path(), {{L"eAuto_Runing", L"Auto"}, {L"GET_ALL_UPDATEINFO", L"Info: all?"}});
    LoadStringTable(dir.Path().wstring() + L"\\", nullptr);

    engine.InitLogSystem();
    engine.SetLog(LOG_TO_FILE, L"step failed");
    engine.CloseLog(false);
    EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/Tidewell.log"));

    engine.InitLogSystem();
    engine.m_nRunMode = 0;
    engine.CloseLog(false);

    std::vector<fs::path> errs = ErrFiles();
    ASSERT_EQ(errs.size(), 2u);
    const std::wregex autoName(L"Auto20[0-9]{2}\\.[0-9]{1,2}\\.[0-9]{1,2}_[0-9]{1,2}h[0-9]{1,2}m[0-9]{1,2}s\\.err");
    const std::wregex infoName(L"Info_ all_20[0-9.]+_[0-9]+h[0-9]+m[0-9]+s\\.err");
    const fs::path* autoErr = nullptr;
    for (const fs::path& p : errs) {
        if (std::regex_match(p.wstring(), autoName)) autoErr = &p;
        else EXPECT_TRUE(std::regex_match(p.wstring(), infoName)) << p;
    }
    ASSERT_NE(autoErr, nullptr);
    const std::wstring text = ReadUtf16File(fs::path("PatchCfg/PatchTemp") / *autoErr);
    EXPECT_NE(text.find(L"step failed\r\nclose log,ExitReason:0-1\r\n"), std::wstring::npos);
}

TEST_F(UpdateLogTest, FailuresWithinOneSecondKeepEveryLog)
{
    for (int i = 0; i < 3; ++i) {
        engine.InitLogSystem();
        engine.SetLog(LOG_TO_FILE, L"run %u", static_cast<unsigned>(i));
        engine.CloseLog(false);
    }
    EXPECT_EQ(ErrFiles().size(), 3u);
}

TEST_F(UpdateLogTest, FailedInitialisationLeavesAReadableErrLog)
{
    WriteStringTable(dir.Path(), {{L"ePath_init_fail", L"Configuration unreadable"},
                                  {L"ePath_Error", L"Path error"},
                                  {L"eAuto_Runing", L"auto"}});
    LoadStringTable(dir.Path().wstring() + L"\\", nullptr);
    RecordedMessageBoxes().clear();

    engine.InitLogSystem();
    EXPECT_FALSE(engine.initBasic());
    engine.CloseLog(false);

    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].text, L"Configuration unreadable");
    EXPECT_EQ(RecordedMessageBoxes()[0].caption, L"Path error");
    EXPECT_EQ(RecordedMessageBoxes()[0].type, static_cast<unsigned>(MB_ICONERROR));

    std::vector<fs::path> errs = ErrFiles();
    ASSERT_EQ(errs.size(), 1u);
    const std::wstring text = ReadUtf16File(fs::path("PatchCfg/PatchTemp") / errs[0]);
    EXPECT_NE(text.find(L"Error:Loadfile:PatchCfg\\NewUpdateCfg.xml,ErrorCode:2\r\n"
                        L"ParseUpdateCfg(\"PatchCfg\\NewUpdateCfg.xml\") function return false, "
                        L"update modual initBasic() failed!\r\n"),
              std::wstring::npos)
        << testing::PrintToString(text);
}

TEST_F(UpdateLogTest, ProgressKindsReachTheirCallbacks)
{
    g_single.clear();
    g_total.clear();
    engine.Progress(4, 0.5f);  // no callbacks yet: nothing happens
    engine.SetSingleProgressCallback(&SingleProgress);
    engine.SetTotalProgressCallback(&TotalProgress);
    engine.SetTotalProgressCallback(nullptr);  // a null function is not stored
    engine.Progress(4, 0.25f);
    engine.Progress(8, 0.75f);
    engine.Progress(5, 1.0f);
    EXPECT_EQ(g_single, std::vector<float>{0.25f});
    EXPECT_EQ(g_total, std::vector<float>{0.75f});
}
