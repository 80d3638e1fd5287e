#include "ServerList.h"

#include <windows.h>

bool WriteServerList(const std::wstring& path, int bigArea)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return WritePrivateProfileStringW(L"ServerList", L"BigArea", std::to_wstring(bigArea).c_str(), path.c_str()) !=
           FALSE;
}
