#include "XmlSave.h"

#include <windows.h>

#include <tinyxml.h>

#include "WinHandle.h"

using Base::Utility::CFileHandle;

bool SaveXmlDocument(const TiXmlDocument& doc, const std::string& path)
{
    const std::string tmp = path + ".tmp";
    // CR LF line ends, as TinyXML's own SaveFile writes them in text mode.
    TiXmlPrinter printer;
    printer.SetLineBreak("\r\n");
    doc.Accept(&printer);
    const std::string text = printer.Str();
    SetFileAttributesA(tmp.c_str(), FILE_ATTRIBUTE_NORMAL);
    bool ok;
    {
        CFileHandle f(CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        ok = f && WriteFile(f.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
             written == text.size() && FlushFileBuffers(f.Get());
    }
    if (ok) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ok = MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!ok) {
        // The caller tells a full disk from other failures by the error.
        const DWORD error = GetLastError();
        DeleteFileA(tmp.c_str());
        SetLastError(error);
    }
    return ok;
}
