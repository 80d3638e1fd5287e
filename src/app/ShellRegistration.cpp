// What the launcher leaves in the shell: the desktop shortcut and the
// registry keys of the patch-package file type, whose command key also
// remembers the installation directory.
#include "PatchApp.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/utility/WinHandle.h"
#include "ui/GdiHandle.h"

const wchar_t kPatchFileKey[] = L"BRQ_PATCH_FILE";
const wchar_t kPatchFileCommandKey[] = L"BRQ_PATCH_FILE\\Shell\\Open\\command";

namespace {

using Base::Utility::CRegKey;

bool WriteDefaultValue(const wchar_t* keyName, const std::wstring& value)
{
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const CRegKey key(opened);
    return RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

bool CPatchApp::ReadRegisteredDir()
{
    m_bRegistered = false;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPatchFileCommandKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    const CRegKey key(opened);
    wchar_t value[MAX_PATH + 1] = {};
    DWORD type = 0, size = MAX_PATH * sizeof(wchar_t);
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    m_strRegisteredDir = value;
    if (m_strRegisteredDir.empty()) return false;
    std::wstring patchCfg = m_strRegisteredDir;
    if (patchCfg.back() != L'\\') patchCfg += L'\\';
    const DWORD attributes = GetFileAttributesW((patchCfg + L"PatchCfg").c_str());
    m_bRegistered = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    return m_bRegistered;
}

bool CPatchApp::RegisterPatchFileType()
{
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH - 1, current);
    const std::wstring iconKey = std::wstring(kPatchFileKey) + L"\\DefaultIcon";
    return WriteDefaultValue(kPatchFileKey, L"青石谣更新包") && WriteDefaultValue(iconKey.c_str(), m_strExePath + L",1") &&
           WriteDefaultValue(kPatchFileCommandKey, current);
}

bool CPatchApp::CreateDesktopShortcut()
{
    wchar_t module[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    // A new launcher gets its shortcut once it runs under its own name.
    if (wcsstr(module, L".new")) return false;
    wchar_t desktop[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, FALSE)) return false;
    const std::wstring path = std::wstring(desktop) + L"\\青石谣.lnk";
    UI::CComInit com;
    if (!com.Ok()) return false;
    // Saving a shortcut makes the shell rebuild its menus, on every start:
    // one that already leads here is left as it is.
    {
        UI::TComPtr<IShellLinkW> existing;
        UI::TComPtr<IPersistFile> file;
        wchar_t target[MAX_PATH] = {};
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
            SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       existing.OutVoid())) &&
            SUCCEEDED(existing->QueryInterface(IID_IPersistFile, file.OutVoid())) &&
            SUCCEEDED(file->Load(path.c_str(), STGM_READ)) &&
            SUCCEEDED(existing->GetPath(target, MAX_PATH, nullptr, 0)) && _wcsicmp(target, module) == 0)
            return true;
    }
    UI::TComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.OutVoid())))
        return false;
    if (FAILED(link->SetPath(module))) return false;
    UI::TComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid()))) return false;
    return SUCCEEDED(file->Save(path.c_str(), TRUE));
}
