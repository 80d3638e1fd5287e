// Fixtures of the engine tests: whole update runs against the HTTP servers of
// the tests, and the package download loop on its own.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

#include "Commands.h"
#include "EngineTestUtil.h"
#include "GameFixture.h"
#include "base/utility/StringTable.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

// Three versions of a game, the packages between them (up100.exe, up200.exe,
// down300.exe) and two signing keys (k1, k2), made once per suite; a real
// (message-only) window records what the engine sends.
class EngineRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_packages = fs::temp_directory_path() / "tidewell-tests" / ("packages-" + std::to_string(GetTickCount()));
        PackStep(s_packages, kV100, kV200, "0000100", "0000200", "up100.exe");
        PackStep(s_packages, kV200, kV300, "0000200", "0000300", "up200.exe");
        PackStep(s_packages, kV300, kV200, "0000300", "0000200", "down300.exe");
        for (const char* k : {"k1", "k2"}) ASSERT_EQ(RunTool(&RunKeygen, {"-o", (s_packages / k).string()}), 0);
    }
    static void TearDownTestSuite() { RemoveTree(s_packages); }
    // Each test publishes below a directory of its own on the static server.
    void SetUpRun(const std::vector<std::pair<std::wstring, std::wstring>>& strings)
    {
        static int counter = 0;
        name = "run" + std::to_string(GetTickCount()) + "-" + std::to_string(++counter);
        www = http.Www() / name;
        base = http.StaticUrl(name + "/");
        WriteStringTable(dir.Path(), strings);
        LoadStringTable(dir.Path().wstring() + L"\\", nullptr);
    }
    static std::string Package(const char* file) { return (s_packages / file).string(); }
    // Publishes the update information the operator tool makes of desc.
    void PublishDesc(const std::string& desc, std::vector<std::string> options = {})
    {
        const fs::path file = http.Www() / (name + ".txt");
        std::ofstream(file) << desc;
        // The engine's own defences are under test: releases are published as they are.
        options.insert(options.begin(), {file.string(), "-o", www.string(), "--unchecked"});
        ASSERT_EQ(RunTool(&RunPublish, options), 0);
    }
    // An installation of tree with config, and the engine on it.
    void StartEngine(const Tree& tree, const std::string& config, InfoOutputFunCallback listener = &RecordListenerText)
    {
        WriteTree(".", tree);
        WriteBytes("PatchCfg/NewUpdateCfg.xml", config);
        ASSERT_TRUE(engine.Initialize(window.Handle(), true, listener, nullptr, nullptr));
    }
    std::string InfoUrl() const { return base + "NewUpdateInfo.zip"; }
    // The retrieval of the update information on this thread, without the
    // worker's start-up pause.
    EStepResult TryParseInfo()
    {
        engine.ClearFault();
        return engine.DownLoadParseUpdateInfo(InfoUrl());
    }
    void ParseInfo() { ASSERT_EQ(TryParseInfo(), STEP_SUCCEEDED); }
    // Handles the engine's messages until the worker of the last start ends.
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
    // A started run's outcome, having checked the window heard message (0: nothing at all).
    EWorkerOutcome Run(bool started, UINT message)
    {
        if (!started) return OUTCOME_RUNNING;
        const EWorkerOutcome outcome = Finish();
        EXPECT_TRUE(message == 0 ? window.Messages().empty() : window.Received(message)) << message;
        window.Clear();
        return outcome;
    }
    EWorkerOutcome Update(UINT message = WM_UPDATE_COMPLETE) { return Run(engine.StartUpdate(true, 0), message); }
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

    static inline const Tree kV100 = {
        {"Binaries/Game.exe", "MZ 100"}, {"DATA.dat", "data"}, {"Data/a.pak", "a100"}, {"Data/b.pak", "b"}};
    static inline const Tree kV200 = {
        {"Binaries/Game.exe", "MZ 200"}, {"DATA.dat", "data"}, {"Data/a.pak", "a200"}, {"Data/c.pak", "c"}};
    static inline const Tree kV300 = {
        {"Binaries/Game.exe", "MZ 300"}, {"DATA.dat", "data"}, {"Data/a.pak", "a300"}, {"Data/c.pak", "c3"}};
    static inline fs::path s_packages;
    HttpServers http;
    ScopedTestDir dir;
    std::string name, base;
    fs::path www;
    CRecordingWindow window;
    CUpdateEngine engine;
};

// The engine's package download loop, run on this thread.
class DownloadLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteStringTable(dir.Path(), {{L"DOWNLOADING_FIELS", L"Downloading %s"}});
        LoadStringTable(dir.Path().wstring() + L"\\", nullptr);
        WriteBytes("PatchCfg/NewUpdateCfg.xml", LocalConfig("0000100"));
        ListenerTexts().clear();
        single.clear();
        total.clear();
        ASSERT_TRUE(engine.Initialize(nullptr, true, &RecordListenerText, [](float f) { single.push_back(f); },
                                      [](float f) { total.push_back(f); }));
        engine.m_strServerVersion = "0000101";
        static int counter = 0;
        key = std::to_string(GetTickCount()) + "x" + std::to_string(++counter);
    }
    void TearDown() override { engine.CloseLog(true); }
    EStepResult Download() { return engine.DownloadAllPatchFiles(0.0f, 0.3f); }

    static inline std::vector<float> single, total;  // the progress reported
    HttpServers http;
    ScopedTestDir dir;
    CUpdateEngine engine;
    std::string key;  // unique to the test
};
