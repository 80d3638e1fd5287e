// The launcher's main window: drawn from the skin on the layered
// background, it starts the update engine, shows versions, status text and
// two progress bars, and turns the engine's messages into the launcher's
// workflow, up to the started game.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "LauncherSkin.h"
#include "PlayerDialogs.h"
#include "ui/BgDialog.h"
#include "ui/BulletinBrowser.h"
#include "ui/DialogBase.h"
#include "ui/DpiScale.h"
#include "ui/GdiHandle.h"
#include "ui/KbcButton.h"
#include "ui/ScaledImage.h"

class CPatchApp;

class CPatchDlg : public UI::CDialogBase, public SLauncherSkin {
public:
    enum { IDD = 102, BUTTON_COUNT = 11 };
    enum { TIMER_BAR1 = 1001, TIMER_BAR2_STATUS = 1002 };

    // app: the launcher the window belongs to.
    explicit CPatchDlg(CPatchApp& app);
    ~CPatchDlg() override;

    // The engine's three callbacks: they run on its threads.
    static void OnStatusText(const wchar_t* pText);
    static void OnSingleProgress(float fraction);
    static void OnTotalProgress(float fraction);

    void SetButtonsBusy(bool busy);
    void SetCurrentVersion(const std::string& v);
    void SetLatestVersion(const std::string& v);
    // Status text of a tag of the text table.
    void SetStatusTag(const wchar_t* pTag);
    // The status text as the window draws it next.
    std::wstring StatusText() const;
    // Draws a status line at (x, y) in the selected font; tabs open gaps
    // rather than showing as boxes.
    static void DrawStatusLine(HDC hDC, int x, int y, const std::wstring& text, int tabStop = 24);

    void RefreshStartButton();
    void RefreshStartButton(int bigArea);
    bool StartGame();
    bool StartNewLauncher();
    void ExitLauncher();
    void SaveBigArea() { SLauncherSkin::SaveBigArea(m_nBigArea); }
    void ParseCmdLineFields();
    // launcher.exe.new is there and is not the running program.
    static bool NewLauncherWaiting();

    UI::CKbcButton& Button(int index) { return m_Buttons[index]; }
    int FilledWidth1() const { return m_nFilled1; }
    int FilledWidth2() const { return m_nFilled2; }
    const std::wstring& CurrentVersionLabel() const { return m_strCurVersionLabel; }
    const std::wstring& LatestVersionLabel() const { return m_strLatestVersionLabel; }
    bool HasRegion() const { return m_bHasRegion; }
    // The DPI the skin is drawn at.
    int Dpi() const { return m_nDpi; }
    // The arguments of the game for a channel (empty: none), the
    // command-line tail and the two login fields.
    static std::wstring GameArguments(const std::wstring& channel, const std::wstring& tail,
                                      const std::wstring& field1, const std::wstring& field2);

    // How the process ends; tests replace it to stay alive.
    void(WINAPI* m_pfnExitProcess)(UINT code) = &::ExitProcess;

    // Command-line tail in the OEM code page and the login fields from it.
    std::string m_strCmdLineTail;
    std::wstring m_strLoginField1, m_strLoginField2, m_strLoginField3;
    std::string m_strCurVersionText;
    bool m_bMinimized = false;
    bool m_bCanStartGame = false;
    bool m_bReady = false;
    bool m_bNewLauncherPending = false;
    bool m_bRetry = false;  // the start button runs everything again
    bool m_bBusy = false;   // a run of the engine is under way

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void SetUpWindow();
    // Images, region, fonts and places of the skin drawn at dpi.
    void ApplyScale(int dpi);
    int Px(int value) const { return UI::Px(value, m_nDpi); }
    void OnPaint();
    void OnTimer(UINT_PTR id);
    bool OnStart();
    bool OnMinimize();
    bool OnOpenButtonUrl(size_t record);
    void RestoreWindow();
    void AddTrayIcon();
    void RemoveTrayIcon();
    void ShowTrayMenu();
    void SetStatus(const std::wstring& text);
    RECT Bar1Rect() const;
    RECT Bar2Rect() const;
    RECT StatusRect() const;
    RECT VersionRect() const;
    // The workflow's message handlers; true when the message was one of them.
    bool OnWorkflowMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnRunStart(UINT message, LPARAM lParam);
    bool OnRunEnd(UINT message);
    bool OnLauncherMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCheckInstall();
    void OnUpdateComplete();
    void OnStartGame();
    void OnDownloadError();
    void OnPackVersionError();
    void OnDownloadErrorRelink();
    void OnSelectLine(bool telecom);
    // A failed run: its cause on the status line, the start button a retry.
    void OnRunFailed();
    void Retry();
    // Verify and repair through the chunk store (the menu, the settings, -repair).
    bool RepairPossible() const;
    void StartRepair();
    void OnRepairDone();
    bool InitializeEngine();
    void TerminateEmergencyUpdater();

    CPatchApp& m_app;
    int m_nDpi = UI::BASE_DPI;
    std::wstring m_strStartImage;  // the start button's image now: start or update
    UI::CScaledImage m_Background;
    UI::CIconHandle m_hIcon;
    UI::CGdiFont m_hVersionFont, m_hInformationFont;
    UI::CGdiRegion m_hRegion;
    UI::CScaledImage m_Bar1, m_Bar2;
    std::atomic<int> m_nFilled1{0}, m_nFilled2{0};
    std::atomic<float> m_fSingle{0}, m_fTotal{0};  // the fractions the bars show, for a new scale
    UI::CKbcButton m_Buttons[BUTTON_COUNT];
    CBulletinBrowser m_Browser[2];
    CPlayerDialogs m_PlayerDialogs;  // the line choice and the game settings
    bool m_bHasRegion = false;
    UI::CPairDrag m_Drag;
    bool m_bTrayIcon = false;
    std::wstring m_strCurVersionLabel, m_strLatestVersionLabel;

    // Engine threads write the text, the window thread draws a copy taken
    // under this lock: a text being replaced is never drawn.
    mutable std::mutex m_statusLock;
    std::wstring m_strStatusText;
};

// The one main window, for the engine callbacks.
extern CPatchDlg* g_pPatchDlg;

// The window's control of button index i.
extern const int g_nButtonIds[CPatchDlg::BUTTON_COUNT];
