// patchtool init, release and check as an operator runs them: a release from
// version trees, every release the launcher would fail on refused with its
// reason and nothing written, and a player installation to start from.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ToolTestUtil.h"

namespace {

void Version(const std::string& v, const std::string& changed)
{
    WriteBytes("versions/" + v + "/Binaries/Game.exe", "MZ game " + v);
    WriteBytes("versions/" + v + "/DATA.dat", "data");
    WriteBytes("versions/" + v + "/Data/world.pak", std::string(200000, 'w') + changed);
}

}  // namespace

TEST(PatchToolRelease, VersionTreesBecomeACheckedSignedFolderAndARepackIsTheSame)
{
    ScopedTestDir dir;
    Version("0000100", "a");
    Version("0000200", "b");
    Version("0000300", "c");
    ASSERT_EQ(Tool("keygen -o rel"), 0);
    struct stat st;
    ASSERT_EQ(stat("rel.key", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the secret key is its owner's alone";
    chmod("rel.key", 0644);
    std::string out;
    ASSERT_EQ(Tool("release versions --url http://127.0.0.1:8080/ -o www --key rel.key --basepacks", &out), 0) << out;
    EXPECT_NE(out.find("is readable by others"), std::string::npos) << "a leaked key is named";
    // The bytes of each earlier version's way to the latest: deltas of 1 byte.
    EXPECT_NE(out.find("0000100 -> 0000200 -> 0000300"), std::string::npos) << out;
    for (const char* f : {"www/patches/up_0000100_0000200.exe", "www/patches/up_0000200_0000300_delta.exe",
                          "www/patches/down_0000300_0000200.exe", "www/patches/down_0000300_0000200_delta.exe",
                          "www/newupdateinfo.zip.minisig", "www/base1.zip.minisig", "www/base2.zip"})
        EXPECT_TRUE(fs::exists(f)) << f;
    EXPECT_EQ(Tool("check www --key rel.pub", &out), 0) << out;
    ASSERT_EQ(Tool("keygen -o other"), 0);
    EXPECT_EQ(Tool("check www --key other.pub", &out), 3);
    EXPECT_NE(out.find("signed by a key that is not trusted"), std::string::npos) << out;
    // The same trees pack to the same bytes.
    ASSERT_EQ(Tool("pack --old versions/0000100 --new versions/0000200 --from 0000100 --to 0000200 -o again.exe"), 0);
    EXPECT_TRUE(ReadBytes("again.exe") == ReadBytes("www/patches/up_0000100_0000200.exe"));

    // A later release from the published folder and the new tree alone.
    fs::remove_all("versions/0000100");
    fs::remove_all("versions/0000200");
    Version("0000400", "d");
    ASSERT_EQ(Tool("release versions --url http://127.0.0.1:8080/ -o www --key rel.key --previous www", &out), 0) << out;
    EXPECT_NE(out.find("0000100 -> 0000200 -> 0000300 -> 0000400"), std::string::npos) << out;
    EXPECT_EQ(Tool("check www --key rel.pub", &out), 0) << out;
    // QA beside production never replaces production's packages.
    Version("0000300", "another c");
    EXPECT_EQ(Tool("release versions --url http://127.0.0.1:8080/ -o www --qa", &out), 1) << out;
    EXPECT_NE(out.find("--qa would replace"), std::string::npos) << out;
}

TEST(PatchToolRelease, EveryReleaseThatWouldFailOnPlayersIsRefusedAndNothingIsWritten)
{
    ScopedTestDir dir;
    Version("0000100", "a");
    Version("0000200", "b");
    ASSERT_EQ(Tool("pack --old versions/0000100 --new versions/0000200 --from 0000100 --to 0000200 -o up.exe"), 0);
    fs::copy_file("up.exe", "filelist.xml");
    const std::string server = "server url=http://127.0.0.1:8080/ dir=patches/ version=0000200\n";
    const struct { std::string description; const char* why; } cases[] = {
        {"latest 0000200\n" + server + "step 0000200 0000300 upgrade=up.exe\n", "it goes from 0000100 to 0000200"},
        {"latest 0000300\n" + server + "step 0000100 0000200 upgrade=up.exe\n", "no chain of steps reaches the latest"},
        {"latest 200\n" + server + "step 0000100 0000200 upgrade=up.exe\n", "'200' is not seven digits"},
        {"latest 0000200\nserver url=h version=0000200\nstep 0000100 0000200 upgrade=up.exe\n",
         "'h' is not an absolute http(s) address"},
        {"latest 0000200\n" + server + "step 0000100 0000200 upgrade=gone.exe\n", "missing"},
        {"latest 0000200\n" + server + "step 0000100 0000200 upgrade=filelist.xml\n", "a file of the launcher's own"},
        {"latest 0000200\n" + server + "step 0000100 0000200 upgrade=up.exe upgradedelta=up.exe\n", "not a delta package"},
    };
    std::string out;
    for (const auto& c : cases) {
        WriteBytes("d.txt", c.description);
        EXPECT_EQ(Tool("publish d.txt -o www", &out), 3) << c.description;
        EXPECT_NE(out.find(c.why), std::string::npos) << c.description << out;
        EXPECT_FALSE(fs::exists("www")) << c.description;
    }
    // A published folder damaged later: check names the file and why.
    WriteBytes("d.txt", "latest 0000200\n" + server + "step 0000100 0000200 upgrade=up.exe\n");
    ASSERT_EQ(Tool("publish d.txt -o www", &out), 0) << out;
    EXPECT_EQ(Tool("check www --key nokey.pub", &out), 4);
    ASSERT_EQ(Tool("keygen -o k"), 0);
    EXPECT_EQ(Tool("check www --key k.pub", &out), 3);
    EXPECT_NE(out.find("no signature (up.exe.minisig)"), std::string::npos) << out;
    WriteBytes("www/patches/up.exe", ReadBytes("www/patches/up.exe") + "x");
    EXPECT_EQ(Tool("check www", &out), 3);
    EXPECT_NE(out.find("the file has"), std::string::npos) << out;
    // release refuses a folder that is no version and a key it cannot use, before writing.
    fs::create_directories("versions/200");
    EXPECT_EQ(Tool("release versions --url http://127.0.0.1:8080/ -o rel", &out), 3);
    EXPECT_NE(out.find("versions are seven digits"), std::string::npos) << out;
    fs::remove_all("versions/200");
    EXPECT_EQ(Tool("release versions --url http://127.0.0.1:8080/ -o rel --key k.pub", &out), 4);
    EXPECT_FALSE(fs::exists("rel"));
}

TEST(PatchToolInit, APlayerInstallationWithTheAddressTheKeyTheTextsAndTheSkin)
{
    ScopedTestDir dir;
    ASSERT_EQ(Tool("keygen -o k"), 0);
    std::string out;
    ASSERT_EQ(Tool("init game --url http://127.0.0.1:8080/ --key k.pub --name Tide.exe", &out), 0) << out;
    const std::string config = ReadBytes("game/PatchCfg/NewUpdateCfg.xml");
    EXPECT_NE(config.find("<UpdateInfoURL>http://127.0.0.1:8080/NewUpdateInfo.zip</UpdateInfoURL>"), std::string::npos);
    EXPECT_NE(config.find("<Key>" + ReadBytes("k.pub").substr(ReadBytes("k.pub").find('\n') + 1, 56)), std::string::npos);
    EXPECT_NE(ReadBytes("game/PatchCfg/NewUpdateInfo.xml").find("http://127.0.0.1:8080/base1.zip"), std::string::npos);
    EXPECT_NE(ReadBytes("game/PatchCfg/NewLauncherCfg.xml").find("path=\"Tide.exe\""), std::string::npos);
    EXPECT_TRUE(fs::exists("game/skin/window.bmp"));
    const std::string table = ReadBytes("game/data/string.txt");
    ASSERT_GE(table.size(), 2u);
    EXPECT_EQ(table.substr(0, 2), "\xFF\xFE") << "UTF-16 with its mark";
    // Every tag the window shows on a failure is there, in both tables.
    for (const char* file : {"game/data/string.txt", "game/data/string.en.txt"})
        for (const char* tag : {"CAUSE_NO_CONNECTION", "CAUSE_INCOMPLETE_INSTALLATION", "RETRY_BUTTON", "DOWNLOADING_FIELS"}) {
            std::string wide;
            for (const char* p = tag; *p; ++p) wide += std::string(1, *p) + '\0';
            EXPECT_NE(ReadBytes(file).find(wide), std::string::npos) << file << " " << tag;
        }
    EXPECT_EQ(Tool("init game --url http://127.0.0.1:8080/", &out), 5);
    EXPECT_EQ(Tool("init game --url http://127.0.0.1:8080/ --force", &out), 0);
    EXPECT_EQ(Tool("init other --url ftp://x/", &out), 2);
    EXPECT_EQ(Tool("init other --url http://127.0.0.1/ --key k.key", &out), 4);
    EXPECT_EQ(Tool("init other --url http://127.0.0.1/ --bogus", &out), 2);
    EXPECT_NE(out.find("unknown option --bogus"), std::string::npos) << out;
}
