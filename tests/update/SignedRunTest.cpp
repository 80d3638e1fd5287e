// Update runs with trusted keys configured, against a real HTTP server: what
// is signed is installed, everything else is refused with its own log line
// and leaves the installation as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <functional>

#include <tinyxml.h>

#include "Commands.h"
#include "EngineTestUtil.h"
#include "GameFixture.h"
#include "ZipWriter.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "transfer/Md5.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

using Base::Utility::AnsiToWide;

namespace {

const Tree kV100 = {{"Binaries/Game.exe", "MZ 100"}, {"Data/a.pak", "a100"}};
const Tree kV200 = {{"Binaries/Game.exe", "MZ 200"}, {"Data/a.pak", "a200"}};

std::string KeyLine(const fs::path& pub)
{
    std::ifstream in(pub);
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    return line;
}

std::string Replaced(std::string s, const std::string& from, const std::string& to)
{
    const size_t at = s.find(from);
    return at == std::string::npos ? s : s.replace(at, from.size(), to);
}

class SignedRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = fs::temp_directory_path() / "tidewell-tests" / ("signed-" + std::to_string(GetTickCount()));
        WriteTree(s_dir / "v100", kV100);
        WriteTree(s_dir / "v200", kV200);
        ASSERT_EQ(RunTool(&RunPack, {"--old", (s_dir / "v100").string(), "--new", (s_dir / "v200").string(), "--from",
                                     "0000100", "--to", "0000200", "-o", (s_dir / "up100.exe").string()}),
                  0);
        for (const char* k : {"k1", "k2"}) ASSERT_EQ(RunTool(&RunKeygen, {"-o", (s_dir / k).string()}), 0);
    }
    static void TearDownTestSuite() { RemoveTree(s_dir); }
    void SetUp() override
    {
        name = "signed" + std::to_string(GetTickCount()) + "-" + std::to_string(++s_counter);
        www = http.Www() / name;
        base = http.StaticUrl(name + "/");
        WriteStringTable(dir.Path(), {{L"UNZIP_BASEPACK_END1", L"Base pack 1 installed"}});
        LoadStringTable(dir.Path().wstring() + L"\\", nullptr);
    }
    static std::string Key(const char* k) { return (s_dir / (std::string(k) + ".key")).string(); }
    // The update information and its package, signed with key at timestamp.
    // With mirror, a second server of the version serves its own copies.
    void Publish(const char* key, const char* timestamp, bool mirror = false, std::string step = "")
    {
        const fs::path desc = s_dir / (name + ".txt");
        if (step.empty()) step = "step 0000100 0000200 upgrade=" + (s_dir / "up100.exe").string() + "\n";
        std::ofstream(desc) << "latest 0000200\nserver url=" << base << " dir=patches/ version=0000200\n"
                            << (mirror ? "server url=" + base + " dir=mirror/ version=0000200\n" : "") << step;
        ASSERT_EQ(RunTool(&RunPublish, {desc.string(), "-o", www.string(), "--sign", Key(key), "--timestamp", timestamp}), 0);
    }
    void Sign(const fs::path& file, const char* key, const char* timestamp = "1000")
    {
        ASSERT_EQ(RunTool(&RunSign, {"--key", Key(key), "--timestamp", timestamp, file.string()}), 0);
    }
    // An installation at 0000100 that trusts keys (none: verification off).
    void Game(const std::vector<const char*>& keys)
    {
        WriteTree(".", kV100);
        std::string config = LocalConfig("0000100", {base + "NewUpdateInfo.zip"});
        std::string trusted;
        for (const char* k : keys) trusted += "<Key>" + KeyLine(s_dir / (std::string(k) + ".pub")) + "</Key>";
        if (!keys.empty()) config.replace(config.rfind("</Root>"), 7, "<TrustedKeys>" + trusted + "</TrustedKeys></Root>");
        WriteBytes("PatchCfg/NewUpdateCfg.xml", config);
        ASSERT_TRUE(engine.Initialize(window.Handle(), true, &RecordListenerText, nullptr, nullptr));
    }
    EStepResult FetchInfo()
    {
        engine.ClearFault();
        return engine.DownLoadParseUpdateInfo(base + "NewUpdateInfo.zip");
    }
    EWorkerOutcome Finish()
    {
        HANDLE worker = engine.WorkerHandle();
        const DWORD start = GetTickCount();
        for (DWORD r = WAIT_TIMEOUT; worker && r != WAIT_OBJECT_0 && GetTickCount() - start < 30000;) {
            r = MsgWaitForMultipleObjects(1, &worker, FALSE, 100, QS_ALLINPUT);
            for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
        }
        return engine.Outcome();
    }
    // Every log of this installation so far, the failed runs' too.
    static std::wstring Logs()
    {
        std::wstring all;
        for (auto& e : fs::directory_iterator("PatchCfg/PatchTemp"))
            if (e.path().extension() == ".err" || e.path().extension() == ".log") all += LogText(e.path());
        return all;
    }
    static size_t Count(const std::wstring& text, const std::wstring& what)
    {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    static std::string InfoTimestamp()
    {
        TiXmlDocument doc;
        doc.Parse(ReadBytes("PatchCfg/NewUpdateCfg.xml").c_str());
        const TiXmlElement* keys = doc.RootElement() ? doc.RootElement()->FirstChildElement("TrustedKeys") : nullptr;
        const char* t = keys ? keys->Attribute("InfoTimestamp") : nullptr;
        return t ? t : "";
    }

    static fs::path s_dir;
    static int s_counter;
    HttpServers http;
    ScopedTestDir dir;
    std::string name, base;
    fs::path www;
    CRecordingWindow window;
    CUpdateEngine engine;
};
fs::path SignedRunTest::s_dir;
int SignedRunTest::s_counter = 0;

}  // namespace

TEST_F(SignedRunTest, SignedUpdatesInstallOlderInformationIsRefusedAndASecondKeyTakesOver)
{
    Publish("k1", "1000");
    Game({"k1"});
    ASSERT_EQ(FetchInfo(), STEP_SUCCEEDED);
    EXPECT_EQ(InfoTimestamp(), "1000");
    ASSERT_TRUE(engine.StartUpdate(true, 0));
    ASSERT_EQ(Finish(), OUTCOME_INSTALLED);
    engine.initBasic();
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000200");
    EXPECT_EQ(ReadBytes("Binaries/Game.exe"), "MZ 200");
    EXPECT_EQ(Count(Logs(), L"signature verified: up100.exe"), 1u);
    EXPECT_EQ(Count(Logs(), L"updates are not verified"), 0u);

    // Yesterday's signed information cannot come back; the same again can.
    Publish("k1", "999");
    EXPECT_EQ(FetchInfo(), STEP_FAILED);
    EXPECT_EQ(engine.Fault(), FAULT_UNVERIFIED);
    EXPECT_EQ(Count(Logs(), L"older than the update information already accepted"), 1u);
    Publish("k1", "1000");
    EXPECT_EQ(FetchInfo(), STEP_SUCCEEDED);

    // Rotation: the operator's new key signs, once the installation trusts it.
    Publish("k2", "1100");
    EXPECT_EQ(FetchInfo(), STEP_FAILED);
    WriteBytes("PatchCfg/NewUpdateCfg.xml",
               Replaced(ReadBytes("PatchCfg/NewUpdateCfg.xml"), "</TrustedKeys>",
                        "<Key>" + KeyLine(s_dir / "k2.pub") + "</Key></TrustedKeys>"));
    engine.initBasic();
    EXPECT_EQ(FetchInfo(), STEP_SUCCEEDED);
    EXPECT_EQ(InfoTimestamp(), "1100");
}

TEST_F(SignedRunTest, EveryBadSignatureOfTheUpdateInformationIsRefusedWithItsOwnLogLine)
{
    const fs::path archive = www / "newupdateinfo.zip", sig = www / "newupdateinfo.zip.minisig";
    const struct {
        const char* what;
        std::function<void()> spoil;
        const wchar_t* logLine;
    } cases[] = {
        {"tampered archive", [&] { WriteBytes(archive, ReadBytes(archive) + "x"); }, L"signature does not match the file"},
        {"another key", [&] { Sign(archive, "k2"); }, L"signed by a key that is not trusted"},
        {"no signature", [&] { fs::remove(sig); }, L"no signature file"},
        {"truncated", [&] { WriteBytes(sig, ReadBytes(sig).substr(0, 120)); }, L"malformed signature file"},
        {"empty", [&] { WriteBytes(sig, ""); }, L"malformed signature file"},
        {"garbage", [&] { WriteBytes(sig, std::string(200, '\x9C')); }, L"malformed signature file"},
        {"huge", [&] { WriteBytes(sig, ReadBytes(sig) + std::string(100000, '\n')); }, L"signature file too large"},
        {"comment edited", [&] { WriteBytes(sig, Replaced(ReadBytes(sig), "timestamp:1000", "timestamp:9000")); },
         L"trusted comment signature does not verify"},
        {"another file's signature",
         [&] {
             WriteBytes(www / "other.zip", ReadBytes(archive));
             Sign(www / "other.zip", "k1");
             WriteBytes(sig, ReadBytes(www / "other.zip.minisig"));
         },
         L"signature is for another file"},
    };
    Publish("k1", "1000");
    Game({"k1"});
    for (const auto& c : cases) {
        Publish("k1", "1000");
        c.spoil();
        const size_t before = Count(Logs(), c.logLine);
        EXPECT_EQ(FetchInfo(), STEP_FAILED) << c.what;
        EXPECT_EQ(engine.Fault(), c.logLine == std::wstring(L"signature file too large") ? FAULT_BOUND_EXCEEDED
                                                                                         : FAULT_UNVERIFIED)
            << c.what;
        EXPECT_EQ(Count(Logs(), c.logLine), before + 1) << c.what;
        EXPECT_FALSE(fs::exists("PatchCfg/NewUpdateInfo.xml")) << c.what;
        EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/NewUpdateInfo.zip")) << c.what << ": the refused file is deleted";
        EXPECT_EQ(InfoTimestamp(), "") << c.what;
    }
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000100");
}

TEST_F(SignedRunTest, PackagesAndBasePacksNeedTheirOwnSignatures)
{
    Publish("k1", "1000");
    Game({"k1"});
    ASSERT_EQ(FetchInfo(), STEP_SUCCEEDED);
    const fs::path package = www / "patches" / "up100.exe";
    for (const auto& spoil : {std::function<void()>([&] { fs::remove(package.string() + ".minisig"); }),
                              std::function<void()>([&] { Sign(package, "k2"); })}) {
        spoil();
        ASSERT_TRUE(engine.StartUpdate(true, 0));
        EXPECT_EQ(Finish(), OUTCOME_DOWNLOAD_FAILED);
        EXPECT_EQ(engine.Fault(), FAULT_UNVERIFIED);
        EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/up100.exe"));
        engine.initBasic();
        EXPECT_EQ(engine.GetLocalVersionStr(), "0000100");
        EXPECT_EQ(ReadBytes("Binaries/Game.exe"), "MZ 100");
    }
    EXPECT_EQ(Count(Logs(), L"up100.exe: no signature file"), 1u);
    EXPECT_EQ(Count(Logs(), L"up100.exe: signed by a key that is not trusted"), 1u);

    CZipWriter zip;
    ASSERT_TRUE(zip.Create((www / "base1.zip").string()) && zip.AddBytes("Data/base.pak", "base") && zip.Close());
    Sign(www / "base1.zip", "k1");
    WriteBytes(www / "base1.zip", ReadBytes(www / "base1.zip") + "tampered");
    engine.m_vecBasePackURL = {base + "base1.zip", base + "base2.zip"};
    engine.m_vecBasePackFile = {"Base1.zip", "Base2.zip"};
    ASSERT_TRUE(engine.StartDownloadBasePack1());
    EXPECT_EQ(Finish(), OUTCOME_BASEPACK_DOWNLOAD_FAILED);
    EXPECT_EQ(engine.Fault(), FAULT_UNVERIFIED);
    EXPECT_FALSE(fs::exists("Base1.zip"));
    EXPECT_EQ(Count(Logs(), L"base1.zip: signature does not match the file"), 1u);
    Sign(www / "base1.zip", "k1");
    ASSERT_TRUE(engine.StartDownloadBasePack1());
    EXPECT_EQ(Finish(), OUTCOME_BASEPACK_DOWNLOADED);
    EXPECT_TRUE(fs::exists("Base1.zip"));

    // A refused signature moves on to the next server of the version.
    Publish("k1", "1000", true);
    Sign(package, "k2");
    ASSERT_EQ(FetchInfo(), STEP_SUCCEEDED);
    ASSERT_TRUE(engine.StartUpdate(true, 0));
    EXPECT_EQ(Finish(), OUTCOME_INSTALLED);
    EXPECT_EQ(engine.Fault(), FAULT_NONE);
    EXPECT_EQ(ReadBytes("Binaries/Game.exe"), "MZ 200");
    const std::wstring log = LogText("PatchCfg/PatchTemp/Tidewell.log");
    EXPECT_EQ(Count(log, L"up100.exe: signed by a key that is not trusted"), 1u);
    EXPECT_EQ(Count(log, L"left: its signature was refused"), 1u);
    EXPECT_EQ(Count(log, L"signature verified: up100.exe"), 1u);
}

TEST_F(SignedRunTest, WithoutKeysEverythingWorksAsBeforeWithOneWarning)
{
    Publish("k1", "1000");
    for (const auto& f : fs::directory_iterator(www))
        if (f.path().extension() == ".minisig") fs::remove(f.path());
    Game({});
    ASSERT_EQ(FetchInfo(), STEP_SUCCEEDED);
    ASSERT_TRUE(engine.StartUpdate(true, 0));
    ASSERT_EQ(Finish(), OUTCOME_INSTALLED);
    EXPECT_EQ(Count(Logs(), L"updates are not verified"), 1u);
    EXPECT_EQ(Count(Logs(), L"signature"), 0u);
    EXPECT_EQ(InfoTimestamp(), "");
}

TEST_F(SignedRunTest, DeltaPackagesGoFirstAndAModifiedFileOrADamagedDeltaTakesTheWholePackage)
{
    std::string big(2u << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 11);
    std::string bigNew = big;
    bigNew.replace(1500000, 6, "v0200!");
    Tree v100 = kV100, v200 = kV200;
    v100["Data/big.pak"] = big;
    v200["Data/big.pak"] = bigNew;
    const fs::path w = dir.Path() / "trees";
    WriteTree(w / "v100", v100);
    WriteTree(w / "v200", v200);
    for (const char* option : {"", "--delta"}) {
        std::vector<std::string> args = {"--old", (w / "v100").string(), "--new", (w / "v200").string(), "--from",
                                         "0000100", "--to", "0000200", "-o",
                                         (w / (*option ? "delta.exe" : "whole.exe")).string()};
        if (*option) args.push_back(option);
        ASSERT_EQ(RunTool(&RunPack, args), 0);
    }
    // A delta package whose delta is damaged (its own digest and signature intact).
    CraftPackage(w / "damaged.exe",
                 FileListXml("0000100", "0000200",
                             "<add name=\"big.pak\" path=\"Data\\big.pak\" size=\"" + std::to_string(bigNew.size()) +
                                 "\" checktype=\"md5\" checksum=\"" + Md5HexOf(bigNew) +
                                 "\" delta=\"zstd\" basechecksum=\"" + Md5HexOf(big) + "\"/>",
                             "1.1.0"),
                 {{"Data/big.pak", "TWDELTA1 but nothing a delta holds"}});
    Game({"k1"});
    const struct {
        const char* deltaPackage;
        std::string installed;
        const wchar_t* refusal;  // the installer's line; none: the delta is applied
    } cases[] = {
        {"delta.exe", big, nullptr},
        {"delta.exe", big + "modified", L"delta base: Data\\big.pak is not the file the delta applies to"},
        {"damaged.exe", big, L"delta Data\\big.pak refused: "},
    };
    for (const auto& c : cases) {
        const std::string& installed = c.installed;
        Publish("k1", "1000", false,
                "step 0000100 0000200 upgrade=" + (w / "whole.exe").string() +
                    " upgradedelta=" + (w / c.deltaPackage).string() + "\n");
        WriteTree(".", v100);
        WriteBytes("Data/big.pak", installed);
        WriteBytes("PatchCfg/NewUpdateCfg.xml",
                   Replaced(ReadBytes("PatchCfg/NewUpdateCfg.xml"), "<CurVersion>0000200", "<CurVersion>0000100"));
        engine.initBasic();
        ASSERT_EQ(engine.GetLocalVersionStr(), "0000100");
        ASSERT_EQ(FetchInfo(), STEP_SUCCEEDED);
        const size_t logStart = LogText("PatchCfg/PatchTemp/Tidewell.log").size();
        ASSERT_TRUE(engine.StartUpdate(true, 0));
        ASSERT_EQ(Finish(), OUTCOME_INSTALLED) << installed.size();
        EXPECT_TRUE(ReadBytes("Data/big.pak") == bigNew);
        EXPECT_EQ(ReadBytes("Binaries/Game.exe"), "MZ 200");
        std::wstring log = LogText("PatchCfg/PatchTemp/Tidewell.log");
        log = log.size() >= logStart ? log.substr(logStart) : log;  // this run's lines
        EXPECT_EQ(Count(log, L"signature verified: " + AnsiToWide(c.deltaPackage)), 1u);
        const bool fallback = c.refusal != nullptr;
        EXPECT_EQ(Count(log, L"delta applied: Data\\big.pak"), fallback ? 0u : 1u);
        if (fallback) {
            EXPECT_EQ(Count(log, c.refusal), 1u);
        }
        EXPECT_EQ(Count(log, L"the whole-file package follows"), fallback ? 1u : 0u);
        EXPECT_EQ(Count(log, L"signature verified: whole.exe"), fallback ? 1u : 0u);
    }
}
