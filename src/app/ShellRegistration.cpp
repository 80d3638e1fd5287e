// What the launcher leaves in the shell: the desktop shortcut and the
// registry keys of the patch-package file type, whose command key also
// remembers the installation directory.
#include "PatchApp.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

const wchar_t kPatchFileKey[] = L"BRQ_PATCH_FILE";
const wchar_t kPatchFileCommandKey[] = L"BRQ_PATCH_FILE\\Shell\\Open\\command";

namespace {

struct RegKey {
    HKEY h = nullptr;
    ~RegKey()
    {
        if (h) RegCloseKey(h);
    }
};

bool WriteDefaultValue(const wchar_t* keyName, const std::wstring& value)
{
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_WRITE, nullptr, &key.h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

template <class T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr()
    {
        if (p) p->Release();
    }
};

struct ComScope {
    bool ok = SUCCEEDED(CoInitialize(nullptr));
    ~ComScope()
    {
        if (ok) CoUninitialize();
    }
};

}  // namespace

bool CPatchApp::ReadRegisteredDir()
{
    m_bRegistered = false;
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPatchFileCommandKey, 0, KEY_READ, &key.h) != ERROR_SUCCESS) return false;
    wchar_t value[MAX_PATH + 1] = {};
    DWORD type = 0, size = MAX_PATH * sizeof(wchar_t);
    if (RegQueryValueExW(key.h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
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
    ComScope com;
    if (!com.ok) return false;
    // Saving a shortcut makes the shell rebuild its menus, on every start:
    // one that already leads here is left as it is.
    {
        ComPtr<IShellLinkW> existing;
        ComPtr<IPersistFile> file;
        wchar_t target[MAX_PATH] = {};
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
            SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       reinterpret_cast<void**>(&existing.p))) &&
            SUCCEEDED(existing.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p))) &&
            SUCCEEDED(file.p->Load(path.c_str(), STGM_READ)) &&
            SUCCEEDED(existing.p->GetPath(target, MAX_PATH, nullptr, 0)) && _wcsicmp(target, module) == 0)
            return true;
    }
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link.p))))
        return false;
    if (FAILED(link.p->SetPath(module))) return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p)))) return false;
    return SUCCEEDED(file.p->Save(path.c_str(), TRUE));
}
