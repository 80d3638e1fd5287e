// The engine settings file and the resolution list of the settings dialog.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "ui/DisplayModes.h"
#include "ui/EngineSetFile.h"

namespace {

const char kEngineSet[] =
    "<?xml version=\"1.0\" ?>\n"
    "<EngineSetting Version=\"2\">\n"
    "    <GlobleSetting GraphicLevel=\"7\" FullSreen=\"1\" SCREEN_WIDTH=\"1280\" SCREEN_HEIGHT=\"1024\" "
    "SoundVal=\"20\" MusicVal=\"80\" Mute=\"1\" Gamma=\"1.5\" />\n"
    "    <Camera Far=\"900\" />\n"
    "</EngineSetting>\n";

std::vector<SResolution> g_modes;
BOOL WINAPI FakeModes(LPCWSTR, DWORD index, DEVMODEW* mode)
{
    if (index >= g_modes.size()) return FALSE;
    mode->dmPelsWidth = g_modes[index].first;
    mode->dmPelsHeight = g_modes[index].second;
    return TRUE;
}

}  // namespace

TEST(EngineSetFileTest, AttributesReadWithTheirDefaults)
{
    struct Case {
        const char* xml;  // null: no file
        SEngineSettings expected;
    } cases[] = {
        {nullptr, SEngineSettings()},
        {"<EngineSetting><GlobleSetting", SEngineSettings()},  // broken
        {"<EngineSetting/>", SEngineSettings()},
        {"<EngineSetting><GlobleSetting SoundVal=\"10\" MusicVal=\"x\" Mute=\"1y\" GraphicLevel=\"\"/></EngineSetting>",
         [] { SEngineSettings s; s.m_nSoundVal = 10; return s; }()},
        {kEngineSet, [] {
             SEngineSettings s;
             s.m_nGraphicLevel = 7; s.m_nFullScreen = 1; s.m_nScreenWidth = 1280; s.m_nScreenHeight = 1024;
             s.m_nSoundVal = 20; s.m_nMusicVal = 80; s.m_nMute = 1;
             return s;
         }()},
    };
    for (const Case& c : cases) {
        ScopedTestDir dir;
        if (c.xml) WriteBytes("EngineSet.xml", c.xml);
        CEngineSetFile file;
        file.Load("EngineSet.xml");
        const SEngineSettings s = file.Read();
        const SEngineSettings& e = c.expected;
        EXPECT_EQ(std::vector<long long>({s.m_nGraphicLevel, s.m_nFullScreen, s.m_nScreenWidth, s.m_nScreenHeight,
                                          s.m_nSoundVal, s.m_nMusicVal, s.m_nMute}),
                  std::vector<long long>({e.m_nGraphicLevel, e.m_nFullScreen, e.m_nScreenWidth, e.m_nScreenHeight,
                                          e.m_nSoundVal, e.m_nMusicVal, e.m_nMute}))
            << (c.xml ? c.xml : "(none)");
    }
}

TEST(EngineSetFileTest, SavingKeepsEverythingElseInTheFile)
{
    ScopedTestDir dir;
    WriteBytes("EngineSet.xml", kEngineSet);
    CEngineSetFile file;
    ASSERT_TRUE(file.Load("EngineSet.xml"));
    SEngineSettings s = file.Read();
    s.m_nGraphicLevel = 3;
    s.m_nScreenWidth = 1;  // no size chosen: not written
    s.m_nMute = 0;
    ASSERT_TRUE(file.Save(s, false));
    ASSERT_TRUE(file.Save(s, false));  // twice: the same

    CEngineSetFile again;
    ASSERT_TRUE(again.Load("EngineSet.xml"));
    const SEngineSettings r = again.Read();
    EXPECT_EQ(r.m_nGraphicLevel, 3);
    EXPECT_EQ(r.m_nMute, 0);
    EXPECT_EQ(r.m_nScreenWidth, 1280u);
    EXPECT_EQ(r.m_nMusicVal, 80);
    const TiXmlElement* root = again.Document().RootElement();
    EXPECT_STREQ(root->Attribute("Version"), "2");
    EXPECT_STREQ(root->FirstChildElement("GlobleSetting")->Attribute("Gamma"), "1.5");
    EXPECT_STREQ(root->FirstChildElement("Camera")->Attribute("Far"), "900");
    EXPECT_FALSE(fs::exists("EngineSet.xml.tmp"));

    s.m_nScreenWidth = 1024;
    s.m_nScreenHeight = 768;
    ASSERT_TRUE(file.Save(s, true));
    again.Load("EngineSet.xml");
    EXPECT_EQ(again.Read().m_nScreenHeight, 768u);
}

TEST(EngineSetFileTest, AFileWithoutEngineSettingIsNeverOverwritten)
{
    const char* files[] = {nullptr, "<EngineSetting><GlobleSetting Mute=\"1\"/><Camera/>", "<Other Mute=\"1\"/>"};
    for (const char* text : files) {
        ScopedTestDir dir;
        if (text) WriteBytes("EngineSet.xml", text);
        CEngineSetFile file;
        file.Load("EngineSet.xml");
        EXPECT_FALSE(file.Save(SEngineSettings(), true));
        EXPECT_EQ(text ? ReadBytes("EngineSet.xml") : std::string(), text ? text : "");
        EXPECT_EQ(fs::exists("EngineSet.xml"), text != nullptr);
    }
    // EngineSetting alone is saved back as it was.
    ScopedTestDir dir;
    WriteBytes("EngineSet.xml", "<EngineSetting A=\"1\"><X/></EngineSetting>");
    CEngineSetFile file;
    file.Load("EngineSet.xml");
    EXPECT_TRUE(file.Save(SEngineSettings(), true));
    CEngineSetFile again;
    again.Load("EngineSet.xml");
    EXPECT_EQ(again.Document().RootElement()->FirstChildElement("GlobleSetting"), nullptr);
    EXPECT_STREQ(again.Document().RootElement()->Attribute("A"), "1");
}

TEST(DisplayModesTest, EachSizeOnceWithinTheBounds)
{
    struct Case {
        std::vector<SResolution> modes, expected;
    } cases[] = {
        {{{800, 600}, {1024, 768}, {1024, 768}, {1280, 1024}}, {{1024, 768}, {1280, 1024}}},
        {{{1280, 1024}, {1024, 768}, {1280, 1024}}, {{1280, 1024}, {1024, 768}}},  // enumeration order
        {{{1023, 768}, {1024, 767}, {10481, 800}, {1024, 10481}, {10480, 10480}}, {{10480, 10480}}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        g_modes = c.modes;
        EXPECT_EQ(ListResolutions(&FakeModes), c.expected);
    }
}

TEST(DisplayModesTest, TheFirstModeAtLeastTheSavedSize)
{
    const std::vector<SResolution> list = {{1024, 768}, {1280, 1024}, {1600, 900}, {1920, 1080}};
    struct Case {
        unsigned w, h;
        int index;
    } cases[] = {{0, 0, 0},        {1280, 1024, 1},  {1281, 0, 2},          {1300, 1000, 3},
                 {1920, 1081, -1}, {1024, 769, 1},   {0xFFFFFFFF, 0, -1}};
    for (const Case& c : cases) EXPECT_EQ(FirstResolutionAtLeast(list, c.w, c.h), c.index) << c.w << "x" << c.h;
}
