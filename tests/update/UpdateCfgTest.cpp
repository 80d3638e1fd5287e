#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "base/utility/Scramble.h"
#include "base/utility/StringTable.h"
#include "base/utility/XmlLoad.h"
#include "update/UpdateEngine.h"

namespace {

const std::string kVersion =
    "<Version><LastVersion>0000099</LastVersion><CurVersion>0000100</CurVersion>"
    "<ClientVer>0000100</ClientVer><DownloadedFileVersion>0000100</DownloadedFileVersion></Version>";
const std::string kManual = "<ManualUpdateURL NormalURL=\"http://n/\" TestUpdateURL=\"http://t/\"/>";
const std::string kInternet =
    "<InternetUpdate><UpdateInfoURL>http://a/NewUpdateInfo.zip</UpdateInfoURL>"
    "<Other/><UpdateInfoURL>http://b/NewUpdateInfo.zip</UpdateInfoURL></InternetUpdate>";
const std::string kRDTest = "<RDTest><UpdateInfoURL>http://rd/NewUpdateInfo.zip</UpdateInfoURL></RDTest>";
const std::string kGood = "<?xml version=\"1.0\"?>\n<Root>" + kVersion + kManual + kInternet + "</Root>\n";
const char kInfo[] =
    "<Root><InternetUpdate2><UpdateInfoURL>http://c/NewUpdateInfo.zip</UpdateInfoURL></InternetUpdate2>"
    "<PatchClientZip1 url=\"http://p/\" filename=\"base1.zip\"/><PatchClientZip2 url=\"http://q/\" filename=\"base2.zip\"/>"
    "<LinkServerConn ip=\"127.0.0.1\" port=\"8000;0x1F90;0X10;\"/></Root>";

std::string Cfg(const std::string& body) { return "<Root>" + body + "</Root>"; }

class UpdateCfgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadStringTable(L"", nullptr);
        RecordedMessageBoxes().clear();
    }
    bool Parse(const std::string& cfg, CUpdateEngine& e)
    {
        WriteBytes("PatchCfg/NewUpdateCfg.xml", cfg);
        return e.ParseUpdateCfg("PatchCfg\\NewUpdateCfg.xml");
    }
    // What the next start reads.
    std::vector<std::string> Reread()
    {
        CUpdateEngine next;
        if (!next.ParseUpdateCfg("PatchCfg\\NewUpdateCfg.xml")) return {"<unreadable>"};
        return {next.m_strLastVersion, next.m_strCurVersion, next.m_strClientVer, next.m_strDownloadedFileVersion};
    }

    ScopedTestDir dir;
    std::string version;
    CUpdateEngine engine;
};

}  // namespace

TEST_F(UpdateCfgTest, ReadsVersionsUrlsAndTheChosenLinesAddressesAndWithoutARequiredElementNeitherLoadsNorSaves)
{
    ASSERT_TRUE(Parse(Cfg(kVersion + kManual + kInternet + kRDTest), engine));
    EXPECT_EQ(engine.m_strLastVersion, "0000099");
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000100");
    EXPECT_EQ(engine.m_strTestUpdateURL, "http://t/");
    EXPECT_EQ(engine.m_vecUpdateInfoURL, (std::vector<std::string>{"http://a/NewUpdateInfo.zip", "http://b/NewUpdateInfo.zip"}));
    engine.m_bInternetUpdate = false;
    ASSERT_TRUE(Parse(Cfg(kVersion + kManual + kInternet + kRDTest), engine));
    EXPECT_EQ(engine.m_vecUpdateInfoURL, std::vector<std::string>{"http://rd/NewUpdateInfo.zip"});
    EXPECT_FALSE(Parse(Cfg(kVersion + kManual + kInternet), engine));
    engine.m_bInternetUpdate = true;

    // A configuration without a required element does not load nor save.
    ASSERT_TRUE(Parse(kGood, engine));
    for (const std::string& cfg : {std::string("<Other/>"), Cfg(kManual + kInternet),
                                   Cfg("<Version><CurVersion>1</CurVersion></Version>" + kManual + kInternet),
                                   Cfg(kVersion + kInternet), Cfg(kVersion + kManual + kRDTest),
                                   Cfg(kVersion + kManual + "<InternetUpdate/>"), std::string("<Root><unclosed></Root>")}) {
        EXPECT_FALSE(Parse(cfg, engine)) << cfg;
        // Saving the half-loaded document would overwrite the file with less.
        version = "0000101";
        EXPECT_FALSE(engine.SaveVersions(version)) << cfg;
        EXPECT_EQ(ReadBytes("PatchCfg/NewUpdateCfg.xml"), cfg);
    }
}

TEST_F(UpdateCfgTest, SaveVersionsMovesTheVersionsAndTheNextStartReadsThem)
{
    ASSERT_TRUE(Parse(kGood, engine));
    version = "0000101";
    engine.m_strDownloadedFileVersion = "0000101";
    ASSERT_TRUE(engine.SaveVersions(version));
    EXPECT_EQ(engine.m_strLastVersion, "0000100");
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000101");
    EXPECT_EQ(engine.m_strClientVer, "0000101");
    EXPECT_EQ(Reread(), (std::vector<std::string>{"0000100", "0000101", "0000101", "0000101"}));
    EXPECT_FALSE(fs::exists("PatchCfg/NewUpdateCfg.xml.tmp"));

    // Missing or empty version elements load as empty; absent ones are not invented.
    ASSERT_TRUE(Parse(Cfg("<Version><CurVersion/><DownloadedFileVersion/></Version>" + kManual + kInternet), engine));
    EXPECT_EQ(engine.GetLocalVersionStr(), "");
    version = "0000200";
    ASSERT_TRUE(engine.SaveVersions(version));
    EXPECT_EQ(Reread(), (std::vector<std::string>{"", "0000200", "", ""}));
    EXPECT_EQ(ReadBytes("PatchCfg/NewUpdateCfg.xml").find("ClientVer"), std::string::npos);
}

TEST_F(UpdateCfgTest, AScrambledConfigurationIsSavedPlainAndAFailedSaveKeepsEverything)
{
    std::string scrambled = kGood;
    Scramble::Apply(reinterpret_cast<unsigned char*>(&scrambled[0]), scrambled.size());
    WriteBytes("PatchCfg/NewUpdateCfg.eml", scrambled);
    ASSERT_TRUE(engine.ParseUpdateCfg("PatchCfg\\NewUpdateCfg.xml"));
    version = "0000102";
    ASSERT_TRUE(engine.SaveVersions(version));
    EXPECT_EQ(ReadBytes("PatchCfg/NewUpdateCfg.eml"), scrambled);  // the shipped file is left alone
    EXPECT_EQ(Reread()[1], "0000102");

    const std::string before = ReadBytes("PatchCfg/NewUpdateCfg.xml");
    fs::create_directory("PatchCfg/NewUpdateCfg.xml.tmp");  // the temporary cannot be written
    version = "0000103";
    EXPECT_FALSE(engine.SaveVersions(version));
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000102");
    EXPECT_EQ(ReadBytes("PatchCfg/NewUpdateCfg.xml"), before);
}

TEST_F(UpdateCfgTest, LocalUpdateInfoAddsUrlsBasePacksAndPortsOnceAtEachStart)
{
    WriteBytes("PatchCfg/NewUpdateCfg.xml", kGood);
    EXPECT_TRUE(engine.initBasic()) << "a missing local update information is no failure";
    EXPECT_TRUE(engine.m_vecBasePackURL.empty());
    WriteBytes("PatchCfg/NewUpdateInfo.xml", kInfo);
    for (int start = 0; start < 2; ++start) {
        ASSERT_TRUE(engine.initBasic());
        EXPECT_EQ(engine.m_vecUpdateInfoURL, (std::vector<std::string>{"http://a/NewUpdateInfo.zip", "http://b/NewUpdateInfo.zip",
                                                                       "http://c/NewUpdateInfo.zip"}));
        EXPECT_EQ(engine.m_vecBasePackURL, (std::vector<std::string>{"http://p/", "http://q/"}));
        EXPECT_EQ(engine.m_vecBasePackFile, (std::vector<std::string>{"base1.zip", "base2.zip"}));
        EXPECT_EQ(engine.m_strLinkServerIP, "127.0.0.1");
        EXPECT_EQ(engine.m_vecLinkServerPort, (std::vector<int>{8000, 0x1F90, 0x10}));
        // The renewed text nodes belong to the reloaded document.
        version = start ? "0000102" : "0000101";
        ASSERT_TRUE(engine.SaveVersions(version));
    }
    EXPECT_EQ(Reread()[0], "0000101");
    EXPECT_EQ(Reread()[1], "0000102");
    EXPECT_TRUE(RecordedMessageBoxes().empty());

    // One base pack is an error and skips the link server.
    WriteBytes("PatchCfg/NewUpdateInfo.xml",
               "<Root><PatchClientZip1 url=\"u\" filename=\"f\"/><LinkServerConn ip=\"1.2.3.4\" port=\"1\"/></Root>");
    EXPECT_FALSE(engine.ParseLocalUpdateInfo("PatchCfg\\NewUpdateInfo.xml"));
    EXPECT_EQ(engine.m_strLinkServerIP, "");
    EXPECT_TRUE(engine.m_vecLinkServerPort.empty());
}
