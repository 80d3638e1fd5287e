// filelist.xml of a package: the reader and the fence its paths meet.
#include "FuzzXml.h"
#include "transfer/PackageFileList.h"
#include "transfer/PathFence.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TiXmlDocument doc;
    if (!FuzzParse(doc, data, size)) return 0;
    SPackageFileList list;
    if (ReadPackageFileList(doc, &list) != FILELIST_OK) return 0;
    for (const SFileListRecord& r : list.items) {
        std::string normalised;
        if (FenceName(r.path, NAME_PACKAGE_TARGET, &normalised) == NAME_OK && normalised.size() != r.path.size())
            std::abort();
    }
    return 0;
}
