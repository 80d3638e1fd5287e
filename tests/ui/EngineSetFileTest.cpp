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

// What the dialog shows of a file, in one list.
std::vector<long long> Fields(const SEngineSettings& s)
{
    return {s.m_nGraphicLevel, s.m_nFullScreen, s.m_nScreenWidth, s.m_nScreenHeight,
            s.m_nSoundVal, s.m_nMusicVal, s.m_nMute};
}

}  // namespace

TEST(EngineSetFileTest, AttributesReadWithTheirDefaults)
{
    const std::vector<long long> defaults = Fields(SEngineSettings());
    std::vector<long long> soundOnly = defaults;
    soundOnly[4] = 10;
    const struct {
        const char* xml;  // null: no file
        std::vector<long long> expected;
    } cases[] = {
        {nullptr, defaults},
        {"<EngineSetting><GlobleSetting", defaults},  // broken
        {"<EngineSetting/>", defaults},
        {"<EngineSetting><GlobleSetting SoundVal=\"10\" MusicVal=\"x\" Mute=\"1y\" GraphicLevel=\"\"/></EngineSetting>",
         soundOnly},
        {kEngineSet, {7, 1, 1280, 1024, 20, 80, 1}},
    };
    for (const auto& c : cases) {
        ScopedTestDir dir;
        if (c.xml) WriteBytes("EngineSet.xml", c.xml);
        CEngineSetFile file;
        file.Load("EngineSet.xml");
        EXPECT_EQ(Fields(file.Read()), c.expected) << (c.xml ? c.xml : "(none)");
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
    EXPECT_EQ(Fields(again.Read()), (std::vector<long long>{3, 1, 1280, 1024, 20, 80, 0}));
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
        EXPECT_EQ(fs::exists("EngineSet.xml") ? ReadBytes("EngineSet.xml") : "(none)", text ? text : "(none)");
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
    const struct {
        std::vector<SResolution> modes, expected;
    } cases[] = {
        {{{800, 600}, {1024, 768}, {1024, 768}, {1280, 1024}}, {{1024, 768}, {1280, 1024}}},
        {{{1280, 1024}, {1024, 768}, {1280, 1024}}, {{1280, 1024}, {1024, 768}}},  // enumeration order
        {{{1023, 768}, {1024, 767}, {10481, 800}, {1024, 10481}, {10480, 10480}}, {{10480, 10480}}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        g_modes = c.modes;
        EXPECT_EQ(ListResolutions(&FakeModes), c.expected);
    }
}

TEST(DisplayModesTest, TheFirstModeAtLeastTheSavedSize)
{
    const std::vector<SResolution> list = {{1024, 768}, {1280, 1024}, {1600, 900}, {1920, 1080}};
    const struct {
        unsigned w, h;
        int index;
    } cases[] = {{0, 0, 0},        {1280, 1024, 1},  {1281, 0, 2},          {1300, 1000, 3},
                 {1920, 1081, -1}, {1024, 769, 1},   {0xFFFFFFFF, 0, -1}};
    for (const auto& c : cases) EXPECT_EQ(FirstResolutionAtLeast(list, c.w, c.h), c.index) << c.w << "x" << c.h;
}
