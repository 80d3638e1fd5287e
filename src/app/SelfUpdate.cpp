#include "PatchApp.h"

#include <algorithm>

#include "base/utility/MessageBox.h"
#include "base/utility/StrConv.h"
#include "transfer/Md5File.h"

namespace {

void DeleteNormal(const wchar_t* path)
{
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

bool CPatchApp::UpdateSelf()
{
    DeleteNormal((m_strExePath + L".cpy").c_str());
    DeleteNormal(L"VersionInfo.xml");
    const std::wstring target = m_strAppDir + L"launcher.exe";
    std::transform(m_strExeName.begin(), m_strExeName.end(), m_strExeName.begin(), towlower);

    if (m_strExeName != L"launcher.exe" && m_strExeName != L"launcherd.exe" && m_strExeName != L"brq.exe") {
        // A new launcher: it takes the regular name, then goes on starting.
        int failures = 0;
        for (;;) {
            if (Exists(target)) SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (CopyFileW(m_strExePath.c_str(), target.c_str(), FALSE)) return true;
            if (DeleteFileW(target.c_str())) {
                if (MoveFileW(m_strExePath.c_str(), target.c_str())) return true;
                wchar_t text[MAX_PATH + 160];
                swprintf(text, sizeof text / sizeof *text,
                         L"将%ls目录下launcher.exe.new重命名为launcher.exe失败！\r\n按【确定】重试，按【取消】手动重命名该文件！",
                         m_strAppDir.c_str());
                if (ShowMessageBox(nullptr, text, Title().c_str(), MB_RETRYCANCEL | MB_ICONERROR) != IDRETRY)
                    return false;
                continue;
            }
            // The old launcher may still hold its file while it ends.
            if (failures == 3) {
                wchar_t text[MAX_PATH + 160];
                swprintf(text, sizeof text / sizeof *text, L"引导程序无法删除%ls\r\n按【确定】重试，按【取消】重启重试",
                         target.c_str());
                if (ShowMessageBox(nullptr, text, Title().c_str(), MB_RETRYCANCEL | MB_ICONERROR) != IDRETRY)
                    return false;
                failures = 0;
            }
            Sleep(200);
            ++failures;
        }
    }

    const std::wstring newFile = target + L".new";
    // Without a new file the digests differ anyway: hashing the running
    // program alone cost the start tens of milliseconds.
    if (!Exists(newFile)) return true;
    if (FileMd5Hex(m_strExePath) == FileMd5Hex(newFile)) {
        DeleteNormal(newFile.c_str());
        return true;
    }
    // The new launcher takes over at once; this one leaves, and lets go of
    // the single-instance mutex first so that the new one does not find it.
    m_hMutex.Reset();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    Base::Utility::SStartedProcess process;
    if (!CreateProcessW(newFile.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process.Out())) {
        ShowMessageBox(nullptr, L"启动launcher.exe.new失败，请手动将其更名为launcher.exe再重试", Title().c_str(),
                       MB_ICONERROR);
        return false;
    }
    process.Adopt();
    return false;
}
