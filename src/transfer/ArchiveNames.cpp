#include "ArchiveNames.h"

#include <cstdio>

#include "ZipWrapper.h"

namespace {

std::wstring HexBytes(const std::string& bytes)
{
    std::wstring text;
    for (unsigned char c : bytes) {
        wchar_t part[4];
        std::swprintf(part, 4, L"%02x", c);
        text += part;
    }
    return text;
}

}  // namespace

bool CheckArchiveNames(FileIO::CZipWrapper& zip, ENameKind kind, SNameRefusal* refusal)
{
    const std::vector<std::wstring> names = zip.ListFiles();
    if (!zip.UndecodableNames().empty()) {
        *refusal = {L"(bytes " + HexBytes(zip.UndecodableNames().front()) + L")",
                    L"flagged UTF-8 but not valid UTF-8"};
        return false;
    }
    return CheckNames(names, kind, refusal);
}
