#include "XmlSave.h"

#include <windows.h>

#include <io.h>

#include <cstdio>

#include <tinyxml.h>

bool SaveXmlDocument(const TiXmlDocument& doc, const std::string& path)
{
    const std::string tmp = path + ".tmp";
    SetFileAttributesA(tmp.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Text mode, as TinyXML's own SaveFile writes.
    std::FILE* f = std::fopen(tmp.c_str(), "w");
    if (f == nullptr) return false;
    bool ok = doc.SaveFile(f) && std::fflush(f) == 0 &&
              FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))));
    ok = std::fclose(f) == 0 && ok;
    if (ok) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ok = MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!ok) DeleteFileA(tmp.c_str());
    return ok;
}
