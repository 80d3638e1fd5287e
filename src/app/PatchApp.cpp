#include "PatchApp.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <tinyxml.h>

#include "LauncherSkin.h"
#include "base/utility/MessageBox.h"
#include "base/utility/StrConv.h"
#include "base/utility/WinHandle.h"
#include "base/utility/XmlLoad.h"
#include "base/utility/XmlText.h"
#include "transfer/InstallJournal.h"
#include "transfer/PathFence.h"
#include "update/UpdateEngine.h"


CPatchApp* g_pPatchApp = nullptr;

namespace {

bool QueryFreeSpace(const std::wstring& dir, std::uint64_t* freeBytes)
{
    ULARGE_INTEGER available, total, totalFree;
    if (!GetDiskFreeSpaceExW(dir.c_str(), &available, &total, &totalFree)) return false;
    *freeBytes = totalFree.QuadPart;
    return true;
}

std::wstring Lower(std::wstring text)
{
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool EndsWith(const std::wstring& text, const wchar_t* tail)
{
    const size_t n = wcslen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

}  // namespace

CPatchApp::CPatchApp() : m_pFreeSpace(&QueryFreeSpace), m_strFullClientPage(L"https://www.tidewell.example/download")
{
    g_pPatchApp = this;
    ResolvePaths();
}

CPatchApp::~CPatchApp()
{
    CloseMutex();
    if (g_pPatchApp == this) g_pPatchApp = nullptr;
}

void CPatchApp::CloseMutex()
{
    m_hMutex.Reset();
}

std::wstring CPatchApp::Title() const
{
    const size_t dot = m_strExeName.find(L'.');
    return dot == std::wstring::npos ? m_strExeName : m_strExeName.substr(0, dot);
}

void CPatchApp::ResolvePaths()
{
    wchar_t module[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::wstring modulePath = module;
    const size_t slash = modulePath.rfind(L'\\');
    m_strExeName = slash == std::wstring::npos ? modulePath : modulePath.substr(slash + 1);
    const std::wstring ownDir = modulePath.substr(0, slash == std::wstring::npos ? 0 : slash + 1);
    // A launcher updates the installation it stands in; the registered one
    // only when its own folder is none (a launcher started from elsewhere).
    const DWORD own = GetFileAttributesW((ownDir + L"PatchCfg").c_str());
    const bool ownIsInstallation = own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_DIRECTORY);
    if (ReadRegisteredDir() && !ownIsInstallation) {
        m_strAppDir = m_strRegisteredDir;
        if (m_strAppDir.back() != L'\\') m_strAppDir += L'\\';  // a drive root is stored as "C:\"
        m_strExePath = m_strAppDir + m_strExeName;
    } else {
        m_strExePath = modulePath;
        m_strAppDir = modulePath.substr(0, slash == std::wstring::npos ? 0 : slash + 1);
    }
}

BOOL CPatchApp::InitInstance()
{
    CreateDesktopShortcut();
    if (!CheckSingleInstance()) {
        CloseMutex();
        return FALSE;
    }
    RecoverInstallation();
    if (!UpdateSelf()) {
        CloseMutex();
        return FALSE;
    }
    if (!CheckDiskSpace()) {
        if (ShowMessageBox(nullptr,
                           L"当前磁盘内存不足请更换其他磁盘安装!点击确定前往官方地址下载完整客户端内容",
                           Title().c_str(), MB_OKCANCEL) == IDOK)
            ShellExecuteW(nullptr, L"open", m_strFullClientPage.c_str(), nullptr, nullptr, SW_HIDE);
        return FALSE;
    }
    FlushDnsCache();
    ReadChannel();

    std::unique_ptr<IMainWindow> window = m_pCreateMainWindow ? m_pCreateMainWindow(*this) : nullptr;
    m_pMainWnd = window ? window->Dialog() : nullptr;
    SLauncherSkin fallback;
    SLauncherSkin& skin = window ? window->Skin() : fallback;
    skin.Parse(SkinFilePath(), m_strAppDir);

    SetCurrentDirectoryW(m_strAppDir.c_str());
    int argc = 0;
    if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
        EvaluateArguments(std::vector<std::wstring>(argv, argv + argc));
        LocalFree(argv);
    }

    INITCOMMONCONTROLSEX controls = {8, 0xFF};
    InitCommonControlsEx(&controls);
    // The bulletin pages start OLE themselves, only when the skin has some.
    if (window) window->DoModal();
    m_pMainWnd = nullptr;
    window.reset();

    if (m_hEmergencyProcess) TerminateProcess(m_hEmergencyProcess.Get(), 0);
    if (m_hMutex) ReleaseMutex(m_hMutex.Get());
    CloseMutex();
    return FALSE;
}

void CPatchApp::FlushDnsCache()
{
    // Started, not waited for (WinExec waits until the child is idle): the
    // window need not wait for the flush.
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    Base::Utility::SStartedProcess process;
    wchar_t commandLine[] = L"cmd /c ipconfig /flushdns";
    if (CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       process.Out()))
        process.Adopt();
}

void CPatchApp::RecoverInstallation()
{
    // The engine logs the outcome once its log is open; a journal that
    // cannot be trusted keeps every backup and stops the engine there.
    CInstallJournal::Recover(m_strAppDir, [](const std::wstring&, const wchar_t*) {});
}

void CPatchApp::ReadChannel()
{
    m_strChannel.clear();
    TiXmlDocument doc;
    const std::string path = Base::Utility::WideToUtf8(m_strAppDir + L"PatchCfg\\channel.xml");
    if (!LoadXmlDocument(doc, path.c_str(), TIXML_ENCODING_UNKNOWN)) return;
    const TiXmlElement* root = doc.FirstChildElement("root");
    const TiXmlElement* channel = root ? root->FirstChildElement("channel") : nullptr;
    if (channel == nullptr) return;
    // The name becomes part of the skin file's name, which is also written:
    // it may not lead out of PatchCfg.
    const std::wstring name = XmlAttributeW(channel, "name");
    if (FenceName(name, NAME_PLAIN_FILE) == NAME_OK) m_strChannel = name;
}

std::string CPatchApp::SkinFilePath() const
{
    std::wstring path = m_strAppDir + L"PatchCfg\\NewLauncherCfg";
    if (!m_strChannel.empty()) path += L"_" + m_strChannel;
    return Base::Utility::WideToUtf8(path + L".xml");
}

void CPatchApp::EvaluateArguments(const std::vector<std::wstring>& args)
{
    for (const std::wstring& arg : args) {
        if (arg.find(L"-TS") != std::wstring::npos) g_bTestServer = 1;
        const std::wstring s = Lower(arg);
        if (s == L"-repair" || s == L"/repair") m_bRepair = true;
        const bool package = EndsWith(s, L".korvalen") ||
                             (!EndsWith(s, L"launcher.exe") && !EndsWith(s, L"brq.exe") &&
                              !EndsWith(s, L"launcherd.exe") && EndsWith(s, L".exe"));
        // Only an argument that names a package is taken as its path: a
        // flag after it ("-TS") must not take its place.
        if (!package) continue;
        m_bManualPatch = true;
        // A leading text in front of the drive letter ("open:c:\...") is cut.
        const size_t colon = s.rfind(L':');
        m_strPatchFile = colon == std::wstring::npos || colon == 0 ? s : s.substr(colon - 1);
    }
}

bool CPatchApp::CheckDiskSpace()
{
    // The directory itself, not a drive string: drive letters differ in case
    // and shares have none.
    std::uint64_t freeBytes = 0;
    if (!m_pFreeSpace(m_strAppDir, &freeBytes)) return true;  // unknown is no reason to refuse
    return (freeBytes >> 20) >= kMinFreeMiB;
}

bool CPatchApp::StartEmergencyUpdate(const std::wstring& strDir, const std::wstring& strExtraArgs)
{
    std::wstring commandLine = std::to_wstring(GetCurrentProcessId()) + strExtraArgs;
    const std::wstring program = strDir + L"Bin\\EmergencyUpdate.exe";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    Base::Utility::SStartedProcess process;
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        process.Out())) {
        wchar_t text[128];
        swprintf(text, 128, L"启动进程EmergencyUpdate.exe出错，错误号：%d", static_cast<int>(GetLastError()));
        ShowMessageBox(nullptr, text, Title().c_str(), MB_ICONWARNING);
        return false;
    }
    process.Adopt();
    m_hEmergencyProcess = std::move(process.process);
    m_dwEmergencyProcessId = process.id;
    return true;
}
