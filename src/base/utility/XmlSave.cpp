#include "XmlSave.h"

#include <windows.h>

#include <tinyxml.h>

#include "StrConv.h"
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
    const std::wstring wideTmp = Base::Utility::Utf8ToWide(tmp), widePath = Base::Utility::Utf8ToWide(path);
    SetFileAttributesW(wideTmp.c_str(), FILE_ATTRIBUTE_NORMAL);
    bool ok;
    {
        CFileHandle f(CreateFileW(wideTmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
        DWORD written = 0;
        ok = f && WriteFile(f.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
             written == text.size() && FlushFileBuffers(f.Get());
    }
    if (ok) {
        SetFileAttributesW(widePath.c_str(), FILE_ATTRIBUTE_NORMAL);
        ok = MoveFileExW(wideTmp.c_str(), widePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!ok) {
        // The caller tells a full disk from other failures by the error.
        const DWORD error = GetLastError();
        DeleteFileW(wideTmp.c_str());
        SetLastError(error);
    }
    return ok;
}
