#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "MessageBoxRecorder.h"
#include "base/utility/StringTable.h"
#include "base/utility/Scramble.h"
#include "update/UpdateEngine.h"
#include "base/utility/XmlLoad.h"

namespace {

const char kVersion[] =
    "<Version><LastVersion>0000099</LastVersion><CurVersion>0000100</CurVersion>"
    "<ClientVer>0000100</ClientVer><DownloadedFileVersion>0000100</DownloadedFileVersion></Version>";
const char kManual[] = "<ManualUpdateURL NormalURL=\"http://n/\" TestUpdateURL=\"http://t/\"/>";
const char kInternet[] =
    "<InternetUpdate><UpdateInfoURL>http://a/NewUpdateInfo.zip</UpdateInfoURL>"
    "<Other/><UpdateInfoURL>http://b/NewUpdateInfo.zip</UpdateInfoURL></InternetUpdate>";
const char kRDTest[] = "<RDTest><UpdateInfoURL>http://rd/NewUpdateInfo.zip</UpdateInfoURL></RDTest>";

std::string Cfg(const std::string& body) { return "<?xml version=\"1.0\"?>\n<Root>" + body + "</Root>\n"; }

const char kInfo[] =
    "<Root><InternetUpdate2><UpdateInfoURL>http://c/NewUpdateInfo.zip</UpdateInfoURL></InternetUpdate2>"
    "<PatchClientZip1 url=\"http://p/\" filename=\"base1.zip\"/>"
    "<PatchClientZip2 url=\"http://q/\" filename=\"base2.zip\"/>"
    "<LinkServerConn ip=\"127.0.0.1\" port=\"8000;0x1F90;0X10\"/></Root>";

class UpdateCfgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadStringTable(L"", nullptr);
        RecordedMessageBoxes().clear();
        engine.InitLogSystem();
    }
    void TearDown() override { engine.CloseLog(true); }

    std::wstring Log() { return ReadUtf16File("PatchCfg/PatchTemp/Tidewell.log"); }
    bool Logged(const std::wstring& line) { return Log().find(line + L"\r\n") != std::wstring::npos; }
    bool Parse(const std::string& cfg)
    {
        WriteBytes("PatchCfg/NewUpdateCfg.xml", cfg);
        return engine.ParseUpdateCfg("PatchCfg\\NewUpdateCfg.xml");
    }

    ScopedTestDir dir;
    CUpdateEngine engine;
};

}  // namespace

TEST_F(UpdateCfgTest, ReadsVersionsUrlsAndAddressesInFileOrder)
{
    ASSERT_TRUE(Parse(Cfg(std::string(kVersion) + kManual + kInternet + kRDTest)));
    EXPECT_EQ(engine.m_strLastVersion, "0000099");
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000100");
    EXPECT_EQ(engine.m_strClientVer, "0000100");
    EXPECT_EQ(engine.m_strDownloadedFileVersion, "0000100");
    EXPECT_EQ(engine.m_strNormalURL, "http://n/");
    EXPECT_EQ(engine.m_strTestUpdateURL, "http://t/");
    EXPECT_EQ(engine.m_strTestRollbackURL, "");
    EXPECT_EQ(engine.m_vecUpdateInfoURL,
              (std::vector<std::string>{"http://a/NewUpdateInfo.zip", "http://b/NewUpdateInfo.zip"}));
}

TEST_F(UpdateCfgTest, InternetFlagClearUsesRDTestOnly)
{
    engine.m_bInternetUpdate = false;
    ASSERT_TRUE(Parse(Cfg(std::string(kVersion) + kManual + kInternet + kRDTest)));
    EXPECT_EQ(engine.m_vecUpdateInfoURL, std::vector<std::string>{"http://rd/NewUpdateInfo.zip"});

    EXPECT_FALSE(Parse(Cfg(std::string(kVersion) + kManual + kInternet)));
    EXPECT_TRUE(Logged(L"Error:Cannot find \"RDTest\" Node"));
}

TEST_F(UpdateCfgTest, SchemaFailuresAndTheirLogLines)
{
    struct Case {
        std::string cfg;
        const wchar_t* line;  // null: fails without a line
    } cases[] = {
        {"<Other/>", L"Error:Cannot find \"Root\" Node"},
        {Cfg(std::string(kManual) + kInternet), nullptr},
        {Cfg("<Version><CurVersion>1</CurVersion></Version>" + std::string(kManual) + kInternet),
         L"Error:Cannot find \"DownloadedFileVersion\" Node"},
        {Cfg(std::string(kVersion) + kInternet), nullptr},
        {Cfg(std::string(kVersion) + kManual + kRDTest), nullptr},
        {Cfg(std::string(kVersion) + kManual + "<InternetUpdate/>"),
         L"Error:Cannot find \"Netcom UpdateInfoURL\" Node"},
        {"<Root><unclosed></Root>", L"Error:Loadfile:PatchCfg\\NewUpdateCfg.xml,ErrorCode:"},
    };
    for (const Case& c : cases) {
        const size_t before = Log().size();
        EXPECT_FALSE(Parse(c.cfg)) << c.cfg;
        const std::wstring added = Log().substr(before);
        if (c.line)
            EXPECT_EQ(added.rfind(c.line, 0), 0u) << c.cfg << " logged " << testing::PrintToString(added);
        else
            EXPECT_EQ(added, L"") << c.cfg;
    }
}

TEST_F(UpdateCfgTest, MissingOrEmptyVersionsLoadAsEmptyAndCanBeWritten)
{
    ASSERT_TRUE(Parse(Cfg("<Version><CurVersion/><DownloadedFileVersion/></Version>" + std::string(kManual) +
                          kInternet)));
    EXPECT_EQ(engine.GetLocalVersionStr(), "");

    engine.m_Plan.interversion = "0000200";
    ASSERT_TRUE(engine.SaveVersions());
    TiXmlDocument saved;
    ASSERT_TRUE(LoadXmlDocument(saved, "PatchCfg\\NewUpdateCfg.xml", TIXML_ENCODING_UNKNOWN));
    TiXmlElement* version = saved.FirstChildElement("Root")->FirstChildElement("Version");
    EXPECT_STREQ(version->FirstChildElement("CurVersion")->GetText(), "0000200");
    // Elements that were not there are not invented.
    EXPECT_EQ(version->FirstChildElement("LastVersion"), nullptr);
    EXPECT_EQ(version->FirstChildElement("ClientVer"), nullptr);

    ASSERT_TRUE(Parse(Cfg("<Version><DownloadedFileVersion>1</DownloadedFileVersion></Version>" +
                          std::string(kManual) + kInternet)));
    EXPECT_EQ(engine.GetLocalVersionStr(), "");  // the re-read file has no version
}

TEST_F(UpdateCfgTest, SaveVersionsMovesTheVersionsAndTheNextStartReadsThem)
{
    ASSERT_TRUE(Parse(Cfg(std::string(kVersion) + kManual + kInternet)));
    engine.m_Plan.interversion = "0000101";
    engine.m_strDownloadedFileVersion = "0000101";
    ASSERT_TRUE(engine.SaveVersions());
    EXPECT_EQ(engine.m_strLastVersion, "0000100");
    EXPECT_EQ(engine.m_strCurVersion, "0000101");
    EXPECT_EQ(engine.m_strClientVer, "0000101");
    EXPECT_FALSE(fs::exists("PatchCfg/NewUpdateCfg.xml.tmp"));

    CUpdateEngine next;
    ASSERT_TRUE(next.ParseUpdateCfg("PatchCfg\\NewUpdateCfg.xml"));
    EXPECT_EQ(next.m_strLastVersion, "0000100");
    EXPECT_EQ(next.GetLocalVersionStr(), "0000101");
    EXPECT_EQ(next.m_strClientVer, "0000101");
    EXPECT_EQ(next.m_strDownloadedFileVersion, "0000101");
    EXPECT_EQ(next.m_vecUpdateInfoURL.size(), 2u);
}

TEST_F(UpdateCfgTest, SavingAScrambledConfigurationWritesThePlainFile)
{
    std::string cfg = Cfg(std::string(kVersion) + kManual + kInternet);
    std::string scrambled = cfg;
    Scramble::Apply(reinterpret_cast<unsigned char*>(&scrambled[0]), scrambled.size());
    WriteBytes("PatchCfg/NewUpdateCfg.eml", scrambled);
    ASSERT_TRUE(engine.ParseUpdateCfg("PatchCfg\\NewUpdateCfg.xml"));

    engine.m_Plan.interversion = "0000102";
    ASSERT_TRUE(engine.SaveVersions());
    EXPECT_EQ(ReadBytes("PatchCfg/NewUpdateCfg.eml"), scrambled);  // the shipped file is left alone

    CUpdateEngine next;
    ASSERT_TRUE(next.ParseUpdateCfg("PatchCfg\\NewUpdateCfg.xml"));
    EXPECT_EQ(next.GetLocalVersionStr(), "0000102");
}

TEST_F(UpdateCfgTest, FailedSaveKeepsFieldsAndFile)
{
    ASSERT_TRUE(Parse(Cfg(std::string(kVersion) + kManual + kInternet)));
    const std::string before = ReadBytes("PatchCfg/NewUpdateCfg.xml");
    fs::create_directory("PatchCfg/NewUpdateCfg.xml.tmp");  // the temporary cannot be written
    engine.m_Plan.interversion = "0000101";
    EXPECT_FALSE(engine.SaveVersions());
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000100");
    EXPECT_EQ(ReadBytes("PatchCfg/NewUpdateCfg.xml"), before);
}

TEST_F(UpdateCfgTest, LocalUpdateInfoAddsUrlsBasePacksAndPorts)
{
    WriteBytes("PatchCfg/NewUpdateCfg.xml", Cfg(std::string(kVersion) + kManual + kInternet));
    WriteBytes("PatchCfg/NewUpdateInfo.xml", kInfo);
    ASSERT_TRUE(engine.initBasic());
    EXPECT_EQ(engine.m_vecUpdateInfoURL,
              (std::vector<std::string>{"http://a/NewUpdateInfo.zip", "http://b/NewUpdateInfo.zip",
                                        "http://c/NewUpdateInfo.zip"}));
    EXPECT_EQ(engine.m_vecBasePackURL, (std::vector<std::string>{"http://p/", "http://q/"}));
    EXPECT_EQ(engine.m_vecBasePackFile, (std::vector<std::string>{"base1.zip", "base2.zip"}));
    EXPECT_EQ(engine.m_strLinkServerIP, "127.0.0.1");
    EXPECT_EQ(engine.m_vecLinkServerPort, (std::vector<int>{8000, 0x1F90, 0x10}));
    EXPECT_TRUE(RecordedMessageBoxes().empty());
}

TEST_F(UpdateCfgTest, OneBasePackIsAnErrorAndSkipsTheLinkServer)
{
    WriteBytes("PatchCfg/NewUpdateInfo.xml",
               "<Root><PatchClientZip1 url=\"u\" filename=\"f\"/><LinkServerConn ip=\"1.2.3.4\" port=\"1\"/></Root>");
    EXPECT_FALSE(engine.ParseLocalUpdateInfo("PatchCfg\\NewUpdateInfo.xml"));
    EXPECT_TRUE(Logged(L"Error:Loadfile:PatchCfg\\NewUpdateInfo.xml, basefile need 2 "));
    EXPECT_EQ(engine.m_strLinkServerIP, "");
    EXPECT_TRUE(engine.m_vecLinkServerPort.empty());

    WriteBytes("PatchCfg/NewUpdateInfo.xml", "<Root><InternetUpdate2/></Root>");
    EXPECT_FALSE(engine.ParseLocalUpdateInfo("PatchCfg\\NewUpdateInfo.xml"));
    EXPECT_TRUE(Logged(L"Error:Cannot find \"Netcom UpdateInfoURL\" Node"));
}

TEST_F(UpdateCfgTest, MissingLocalUpdateInfoDoesNotStopInitialisation)
{
    WriteBytes("PatchCfg/NewUpdateCfg.xml", Cfg(std::string(kVersion) + kManual + kInternet));
    EXPECT_TRUE(engine.initBasic());
    EXPECT_TRUE(Logged(L"Error:Loadfile:PatchCfg\\NewUpdateInfo.xml,ErrorCode:2"));
    EXPECT_TRUE(engine.m_vecBasePackURL.empty());
}

TEST_F(UpdateCfgTest, RerunningInitBasicRereadsWithoutRepeatingAddresses)
{
    WriteBytes("PatchCfg/NewUpdateCfg.xml", Cfg(std::string(kVersion) + kManual + kInternet));
    WriteBytes("PatchCfg/NewUpdateInfo.xml", kInfo);
    ASSERT_TRUE(engine.initBasic());
    engine.m_Plan.interversion = "0000101";
    ASSERT_TRUE(engine.SaveVersions());

    ASSERT_TRUE(engine.initBasic());
    EXPECT_EQ(engine.m_vecUpdateInfoURL.size(), 3u);
    EXPECT_EQ(engine.m_vecLinkServerPort.size(), 3u);
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000101");

    // The renewed text nodes belong to the reloaded document.
    engine.m_Plan.interversion = "0000102";
    ASSERT_TRUE(engine.SaveVersions());
    CUpdateEngine next;
    ASSERT_TRUE(next.ParseUpdateCfg("PatchCfg\\NewUpdateCfg.xml"));
    EXPECT_EQ(next.m_strLastVersion, "0000101");
    EXPECT_EQ(next.GetLocalVersionStr(), "0000102");
}

TEST_F(UpdateCfgTest, SaveAfterAFailedLoadLeavesTheFileAlone)
{
    ASSERT_TRUE(Parse(Cfg(std::string(kVersion) + kManual + kInternet)));
    const std::string good = ReadBytes("PatchCfg/NewUpdateCfg.xml");
    WriteBytes("PatchCfg/Broken.xml", Cfg(std::string(kVersion)));  // no ManualUpdateURL
    EXPECT_FALSE(engine.ParseUpdateCfg("PatchCfg\\Broken.xml"));
    engine.m_Plan.interversion = "0000101";
    EXPECT_FALSE(engine.SaveVersions());
    EXPECT_EQ(ReadBytes("PatchCfg/Broken.xml"), Cfg(std::string(kVersion)));
    EXPECT_EQ(ReadBytes("PatchCfg/NewUpdateCfg.xml"), good);
}
