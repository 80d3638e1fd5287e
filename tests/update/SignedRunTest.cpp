// Update runs with trusted keys configured, against a real HTTP server: what
// is signed is installed, everything else is refused with its own log line
// and leaves the installation as it was.
#include <functional>

#include <tinyxml.h>

#include "EngineFixtures.h"
#include "ZipWriter.h"
#include "base/utility/StrConv.h"
#include "transfer/Md5.h"

using Base::Utility::AnsiToWide;

namespace {

// The configuration's element of a key: the second line of its public key file.
std::string KeyXml(const fs::path& pub)
{
    const std::string text = ReadBytes(pub);
    const size_t start = text.find('\n') + 1;
    return "<Key>" + text.substr(start, text.find_first_of("\r\n", start) - start) + "</Key>";
}

class SignedRunTest : public EngineRunTest {
protected:
    void SetUp() override { SetUpRun({{L"UNZIP_BASEPACK_END1", L"Base pack 1 installed"}}); }
    static std::string Key(const char* k) { return (s_packages / (std::string(k) + ".key")).string(); }
    // The update information and its package, signed with key at timestamp.
    // With mirror, a second server of the version serves its own copies.
    void Publish(const char* key, const char* timestamp, bool mirror = false, std::string step = "", bool qa = false)
    {
        if (step.empty()) step = "step 0000100 0000200 upgrade=" + Package("up100.exe") + "\n";
        std::vector<std::string> options = {"--sign", Key(key), "--timestamp", timestamp};
        if (qa) options.push_back("--qa");
        PublishDesc("latest 0000200\nserver url=" + base + " dir=patches/ version=0000200\n" +
                        (mirror ? "server url=" + base + " dir=mirror/ version=0000200\n" : "") + step, options);
    }
    void Sign(const fs::path& file, const char* key, const char* timestamp = "1000")
    {
        ASSERT_EQ(RunTool(&RunSign, {"--key", Key(key), "--timestamp", timestamp, file.string()}), 0);
    }
    // An installation at 0000100 that trusts keys (none: verification off).
    void Game(const std::vector<const char*>& keys)
    {
        std::string config = LocalConfig("0000100", {InfoUrl()});
        std::string trusted;
        for (const char* k : keys) trusted += KeyXml(s_packages / (std::string(k) + ".pub"));
        if (!keys.empty()) config.replace(config.rfind("</Root>"), 7, "<TrustedKeys>" + trusted + "</TrustedKeys></Root>");
        StartEngine(kV100, config);
    }
    static std::string InfoTimestamp(const char* attribute = "InfoTimestamp")
    {
        TiXmlDocument doc;
        doc.Parse(ReadBytes("PatchCfg/NewUpdateCfg.xml").c_str());
        const TiXmlElement* keys = doc.RootElement() ? doc.RootElement()->FirstChildElement("TrustedKeys") : nullptr;
        const char* t = keys ? keys->Attribute(attribute) : nullptr;
        return t ? t : "";
    }
};

}  // namespace

TEST_F(SignedRunTest, EveryBadSignatureIsRefusedSignedUpdatesInstallOlderInformationIsRefusedASecondKeyTakesOver)
{
    Game({"k1"});
    // Every bad signature of the update information is refused with its own log line.
    const fs::path archive = www / "newupdateinfo.zip", sig = www / "newupdateinfo.zip.minisig";
    const struct { const char* what; std::function<void()> spoil; const wchar_t* logLine; } cases[] = {
        {"tampered archive", [&] { WriteBytes(archive, ReadBytes(archive) + "x"); }, L"signature does not match the file"},
        {"another key", [&] { Sign(archive, "k2"); }, L"signed by a key that is not trusted"},
        {"no signature", [&] { fs::remove(sig); }, L"no signature file"},
        {"truncated", [&] { WriteBytes(sig, ReadBytes(sig).substr(0, 120)); }, L"malformed signature file"},
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
    for (const auto& c : cases) {
        Publish("k1", "1000");
        c.spoil();
        const size_t before = Count(Logs(), c.logLine);
        EXPECT_EQ(TryParseInfo(), STEP_FAILED) << c.what;
        EXPECT_EQ(engine.Fault(), c.logLine == std::wstring(L"signature file too large") ? FAULT_BOUND_EXCEEDED
                                                                                         : FAULT_UNVERIFIED)
            << c.what;
        EXPECT_EQ(Count(Logs(), c.logLine), before + 1) << c.what;
        EXPECT_FALSE(fs::exists("PatchCfg/NewUpdateInfo.xml")) << c.what;
        EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/NewUpdateInfo.zip")) << c.what << ": the refused file is deleted";
        EXPECT_EQ(InfoTimestamp(), "") << c.what;
    }
    Publish("k1", "1000");
    ParseInfo();
    EXPECT_EQ(InfoTimestamp(), "1000");
    ASSERT_EQ(Update(), OUTCOME_INSTALLED);
    engine.initBasic();
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000200");
    EXPECT_EQ(ReadBytes("Binaries/Game.exe"), "MZ 200");
    EXPECT_EQ(Count(Logs(), L"signature verified: up100.exe"), 1u);
    EXPECT_EQ(Count(Logs(), L"updates are not verified"), 0u);

    // Yesterday's signed information cannot come back; the same again can.
    Publish("k1", "999");
    EXPECT_EQ(TryParseInfo(), STEP_FAILED);
    EXPECT_EQ(engine.Fault(), FAULT_UNVERIFIED);
    EXPECT_EQ(Count(Logs(), L"older than the update information already accepted"), 1u);
    Publish("k1", "1000");
    EXPECT_EQ(TryParseInfo(), STEP_SUCCEEDED);

    // Rotation: the operator's new key signs, once the installation trusts it.
    Publish("k2", "1100");
    EXPECT_EQ(TryParseInfo(), STEP_FAILED);
    WriteBytes("PatchCfg/NewUpdateCfg.xml", Replaced(ReadBytes("PatchCfg/NewUpdateCfg.xml"), "</TrustedKeys>",
                                                     KeyXml(s_packages / "k2.pub") + "</TrustedKeys>"));
    engine.initBasic();
    EXPECT_EQ(TryParseInfo(), STEP_SUCCEEDED);
    EXPECT_EQ(InfoTimestamp(), "1100");

    // A tester's run against the test server keeps a time of its own: the
    // production information is no replay afterwards.
    g_bTestServer = 1;
    Publish("k2", "5000", false, "", true);
    EXPECT_EQ(engine.DownLoadParseUpdateInfo(base + "newupdateinfo_qa.zip"), STEP_SUCCEEDED);
    g_bTestServer = 0;
    EXPECT_EQ(InfoTimestamp("QaInfoTimestamp"), "5000");
    EXPECT_EQ(InfoTimestamp(), "1100");
    Publish("k2", "1100");
    EXPECT_EQ(TryParseInfo(), STEP_SUCCEEDED);
}

TEST_F(SignedRunTest, PackagesAndBasePacksNeedTheirOwnSignatures)
{
    Publish("k1", "1000");
    Game({"k1"});
    ParseInfo();
    const fs::path package = www / "patches" / "up100.exe";
    for (const auto& spoil : {std::function<void()>([&] { fs::remove(package.string() + ".minisig"); }),
                              std::function<void()>([&] { Sign(package, "k2"); })}) {
        spoil();
        EXPECT_EQ(Update(WM_Download_ERRORReLink), OUTCOME_DOWNLOAD_FAILED);
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
    EXPECT_EQ(Run(engine.StartDownloadBasePack1(), WM_RUN_FAILED), OUTCOME_BASEPACK_DOWNLOAD_FAILED);
    EXPECT_EQ(engine.Fault(), FAULT_UNVERIFIED);
    EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/BasePack/Base1.zip"));
    EXPECT_EQ(Count(Logs(), L"base1.zip: signature does not match the file"), 1u);
    Sign(www / "base1.zip", "k1");
    EXPECT_EQ(Run(engine.StartDownloadBasePack1(), WM_UNZIP_BASEPACK1), OUTCOME_BASEPACK_DOWNLOADED);
    EXPECT_TRUE(fs::exists("PatchCfg/PatchTemp/BasePack/Base1.zip"));

    // A refused signature moves on to the next server of the version.
    Publish("k1", "1000", true);
    Sign(package, "k2");
    ParseInfo();
    EXPECT_EQ(Update(), OUTCOME_INSTALLED);
    EXPECT_EQ(engine.Fault(), FAULT_NONE);
    EXPECT_EQ(ReadBytes("Binaries/Game.exe"), "MZ 200");
    const std::wstring log = LogText("PatchCfg/PatchTemp/Tidewell.log");
    EXPECT_EQ(Count(log, L"up100.exe: signed by a key that is not trusted"), 1u);
    EXPECT_EQ(Count(log, L"left: its signature was refused"), 1u);
    EXPECT_EQ(Count(log, L"signature verified: up100.exe"), 1u);
}

TEST_F(SignedRunTest, DeltaPackagesGoFirstAndAModifiedFileOrADamagedDeltaTakesTheWholePackage)
{
    const std::string big = UncompressibleBytes(2u << 20);
    std::string bigNew = big;
    bigNew.replace(1500000, 6, "v0200!");
    Tree v100 = kV100, v200 = kV200;
    v100["Data/big.pak"] = big;
    v200["Data/big.pak"] = bigNew;
    const fs::path w = dir.Path() / "trees";
    PackStep(w, v100, v200, "0000100", "0000200", "whole.exe");
    PackStep(w, v100, v200, "0000100", "0000200", "delta.exe", true);
    // A delta package whose delta is damaged (its own digest and signature intact).
    CraftPackage(w / "damaged.exe",
                 FileListXml("0000100", "0000200", DeltaItem(bigNew, big, Md5HexOf(bigNew)), "1.1.0"),
                 {{"Data/big.pak", "TWDELTA1 but nothing a delta holds"}});
    Game({"k1"});
    // fallback: to the whole-file package
    const struct {
        const char* deltaPackage; std::string installed; bool fallback;
    } cases[] = {{"delta.exe", big, false}, {"delta.exe", std::string(big.size(), 'm'), true}, {"damaged.exe", big, true}};
    for (const auto& c : cases) {
        Publish("k1", "1000", false,
                "step 0000100 0000200 upgrade=" + (w / "whole.exe").string() +
                    " upgradedelta=" + (w / c.deltaPackage).string() + "\n");
        WriteTree(".", v100);
        WriteBytes("Data/big.pak", c.installed);
        WriteBytes("PatchCfg/NewUpdateCfg.xml",
                   Replaced(ReadBytes("PatchCfg/NewUpdateCfg.xml"), "<CurVersion>0000200", "<CurVersion>0000100"));
        engine.initBasic();
        ASSERT_EQ(engine.GetLocalVersionStr(), "0000100");
        ParseInfo();
        const size_t logStart = LogText("PatchCfg/PatchTemp/Tidewell.log").size();
        ASSERT_EQ(Update(), OUTCOME_INSTALLED) << c.installed.size();
        EXPECT_TRUE(ReadBytes("Data/big.pak") == bigNew);
        EXPECT_EQ(ReadBytes("Binaries/Game.exe"), "MZ 200");
        std::wstring log = LogText("PatchCfg/PatchTemp/Tidewell.log");
        log = log.size() >= logStart ? log.substr(logStart) : log;  // this run's lines
        EXPECT_EQ(Count(log, L"signature verified: " + AnsiToWide(c.deltaPackage)), 1u);
        EXPECT_EQ(Count(log, L"delta applied: Data\\big.pak"), c.fallback ? 0u : 1u);
        EXPECT_EQ(Count(log, L"signature verified: whole.exe"), c.fallback ? 1u : 0u);
    }
}

TEST_F(SignedRunTest, HandOpenedPackagesNeedTheirOwnSignatureAndAmbiguousKeysStopEverything)
{
    Game({"k1"});
    fs::create_directories("hand");
    const fs::path package = fs::absolute("hand/up100.exe"), sig = package.string() + ".minisig";
    const fs::path renamed = fs::absolute("hand/up100.korvalen");
    fs::copy_file(Package("up100.exe"), package);
    WriteBytes("hand/other.exe", "another file");
    Sign("hand/other.exe", "k1");
    const struct { const char* what; std::function<void()> spoil; fs::path path; const wchar_t* logLine; } cases[] = {
        {"no signature", [] {}, package, L"no signature file beside it"},
        {"another file's", [&] { fs::copy_file("hand/other.exe.minisig", sig); }, package,
         L"signature does not match the file"},
        {"another key", [&] { Sign(package, "k2"); }, package, L"signed by a key that is not trusted"},
        {"renamed", [&] {
             Sign(package, "k1");
             fs::copy_file(package, renamed);
             fs::copy_file(sig, renamed.string() + ".minisig");
         }, renamed, L"signature is for another file"},
    };
    for (const auto& c : cases) {
        c.spoil();
        const size_t before = Count(Logs(), c.logLine);
        EXPECT_EQ(Run(engine.StartManualPatch(c.path.string()), WM_RUN_FAILED), OUTCOME_INSTALL_FAILED) << c.what;
        EXPECT_EQ(engine.Fault(), FAULT_UNVERIFIED) << c.what;
        EXPECT_EQ(Count(Logs(), c.logLine), before + 1) << c.what;
        EXPECT_EQ(ReadBytes("Binaries/Game.exe"), "MZ 100") << c.what;
        EXPECT_FALSE(fs::exists("PatchCfg/PatchBackup")) << c.what;
    }
    EXPECT_EQ(Run(engine.StartManualPatch(package.string()), WM_UPDATE_COMPLETE), OUTCOME_INSTALLED);
    EXPECT_EQ(ReadBytes("Binaries/Game.exe"), "MZ 200");

    // Keys that can be read two ways: the engine does not start.
    engine.CloseLog(true);
    const std::string key = KeyXml(s_packages / "k1.pub");
    const std::string config = LocalConfig("0000100", {InfoUrl()});
    auto with = [&](const std::string& tail) { return Replaced(config, "</Root>", tail + "</Root>"); };
    const struct { std::string config; const wchar_t* logLine; } ambiguous[] = {
        {with("<TrustedKeys/><TrustedKeys>" + key + "</TrustedKeys>"), L"more than one TrustedKeys section"},
        {with("<TrustedKeys/>"), L"a TrustedKeys section without a Key"},
        {with("<TrustedKeys><Key>RWQ-not-a-key</Key>" + key + "</TrustedKeys>"), L"key 1 is not a minisign public key"},
        {with("<TrustedKeys InfoTimestamp=\"12x\">" + key + "</TrustedKeys>"), L"InfoTimestamp is not a number"},
        {config + "<Root><TrustedKeys>" + key + "</TrustedKeys></Root>", L"in a second Root element"},
    };
    for (const auto& c : ambiguous) {
        WriteBytes("PatchCfg/NewUpdateCfg.xml", c.config);
        CUpdateEngine other;
        EXPECT_FALSE(other.Initialize(nullptr, true, nullptr, nullptr, nullptr)) << c.config;
        EXPECT_EQ(other.Fault(), FAULT_BAD_KEYS) << c.config;
        EXPECT_EQ(Count(Logs(), c.logLine), 1u) << c.config;
    }
}
