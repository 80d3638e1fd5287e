// NewUpdateInfo.xml: the reader of the server's update information.
#include "FuzzXml.h"
#include "transfer/PathFence.h"
#include "update/UpdateInfoRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TiXmlDocument doc;
    if (!FuzzParse(doc, data, size)) return 0;
    SUpdateInfoRecord info;
    if (ReadUpdateInfoRecord(doc, &info) != UPDATEINFO_OK) return 0;
    if (info.servers.size() > kMaxPatchServers || info.infoUrls.size() > kMaxUpdateInfoUrls) std::abort();
    for (const std::string& name : info.basePackFiles) FenceName(name, NAME_PLAIN_FILE);
    VersionOrPortNumber(info.latestVersion);
    return 0;
}
