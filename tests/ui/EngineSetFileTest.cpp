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

// Attributes are read with their defaults; a file without EngineSetting
// (none, broken, another root) is never written; a save keeps the rest.
TEST(EngineSetFileTest, AttributesReadWithTheirDefaultsOnlyEngineSettingIsEverWrittenAndSavesKeepTheRest)
{
    const std::vector<long long> defaults = Fields(SEngineSettings());
    std::vector<long long> soundOnly = defaults;
    soundOnly[4] = 10;
    const struct { const char* xml; std::vector<long long> expected; bool saved; } cases[] = {  // null: no file
        {nullptr, defaults, false},
        {"<EngineSetting><GlobleSetting Mute=\"1\"/><Camera/>", defaults, false},  // broken
        {"<Other Mute=\"1\"/>", defaults, false},
        {"<EngineSetting/>", defaults, true},
        {"<EngineSetting><GlobleSetting SoundVal=\"10\" MusicVal=\"x\" Mute=\"1y\" GraphicLevel=\"\"/></EngineSetting>",
         soundOnly, true},
        {kEngineSet, {7, 1, 1280, 1024, 20, 80, 1}, true},
    };
    for (const auto& c : cases) {
        ScopedTestDir dir;
        if (c.xml) WriteBytes("EngineSet.xml", c.xml);
        CEngineSetFile file;
        file.Load("EngineSet.xml");
        EXPECT_EQ(Fields(file.Read()), c.expected) << (c.xml ? c.xml : "(none)");
        EXPECT_EQ(file.Save(SEngineSettings(), true), c.saved) << (c.xml ? c.xml : "(none)");
        if (c.saved) continue;
        EXPECT_EQ(fs::exists("EngineSet.xml") ? ReadBytes("EngineSet.xml") : "(none)", c.xml ? c.xml : "(none)");
    }

    // Saving keeps everything else in the file.
    ScopedTestDir dir;
    WriteBytes("EngineSet.xml", kEngineSet);
    CEngineSetFile file;
    ASSERT_TRUE(file.Load("EngineSet.xml"));
    SEngineSettings s = file.Read();
    s.m_nGraphicLevel = 3;
    s.m_nScreenWidth = 1;  // no size chosen: not written (the dialog's second save: GameSettingTest)
    s.m_nMute = 0;
    ASSERT_TRUE(file.Save(s, false));

    CEngineSetFile again;
    ASSERT_TRUE(again.Load("EngineSet.xml"));
    EXPECT_EQ(Fields(again.Read()), (std::vector<long long>{3, 1, 1280, 1024, 20, 80, 0}));
    const TiXmlElement* root = again.Document().RootElement();
    EXPECT_STREQ(root->Attribute("Version"), "2");
    EXPECT_STREQ(root->FirstChildElement("GlobleSetting")->Attribute("Gamma"), "1.5");
    EXPECT_STREQ(root->FirstChildElement("Camera")->Attribute("Far"), "900");
    EXPECT_FALSE(fs::exists("EngineSet.xml.tmp"));

    // EngineSetting alone is saved back as it was.
    WriteBytes("alone.xml", "<EngineSetting A=\"1\"><X/></EngineSetting>");
    CEngineSetFile alone;
    alone.Load("alone.xml");
    EXPECT_TRUE(alone.Save(SEngineSettings(), true));
    again.Load("alone.xml");
    EXPECT_EQ(again.Document().RootElement()->FirstChildElement("GlobleSetting"), nullptr);
    EXPECT_STREQ(again.Document().RootElement()->Attribute("A"), "1");
}

TEST(DisplayModesTest, EachSizeOnceWithinTheBoundsAndTheFirstAtLeastTheSavedSize)
{
    const struct { std::vector<SResolution> modes, expected; } cases[] = {
        {{{800, 600}, {1024, 768}, {1024, 768}, {1280, 1024}}, {{1024, 768}, {1280, 1024}}},
        {{{1280, 1024}, {1024, 768}, {1280, 1024}}, {{1280, 1024}, {1024, 768}}},  // enumeration order
        {{{1023, 768}, {1024, 767}, {10481, 800}, {1024, 10481}, {10480, 10480}}, {{10480, 10480}}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        g_modes = c.modes;
        EXPECT_EQ(ListResolutions(&FakeModes), c.expected);
    }

    // The first mode at least the saved size.
    const std::vector<SResolution> list = {{1024, 768}, {1280, 1024}, {1600, 900}, {1920, 1080}};
    const struct { unsigned w, h; int index; } saved[] = {{0, 0, 0}, {1280, 1024, 1}, {1281, 0, 2}, {1300, 1000, 3},
                                                           {1920, 1081, -1}, {1024, 769, 1}, {0xFFFFFFFF, 0, -1}};
    for (const auto& c : saved) EXPECT_EQ(FirstResolutionAtLeast(list, c.w, c.h), c.index) << c.w << "x" << c.h;
}
