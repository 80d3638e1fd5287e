// PatchCfg\Revision.xml: the record reader and the fence its package names meet.
#include "FuzzXml.h"
#include "transfer/PathFence.h"
#include "transfer/RevisionRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TiXmlDocument doc;
    if (!FuzzParse(doc, data, size)) return 0;
    std::vector<SRevision> records;
    if (ReadRevisionRecords(doc, &records) != REVISION_OK) return 0;
    if (records.size() > kMaxRevisionRecords) std::abort();
    for (const SRevision& r : records) FenceName(r.upgrade.filename, NAME_PLAIN_FILE);
    return 0;
}
