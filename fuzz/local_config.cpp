// PatchCfg\NewUpdateCfg.xml: the reader of the local configuration.
#include "FuzzXml.h"
#include "update/UpdateCfgRecord.h"
#include "update/UpdateInfoRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TiXmlDocument doc;
    if (!FuzzParse(doc, data, size) || size == 0) return 0;
    SUpdateCfgRecord cfg;
    const EUpdateCfgResult result = ReadUpdateCfgRecord(doc, (data[0] & 1) != 0, &cfg);
    if (cfg.infoUrls.size() > kMaxUpdateInfoUrls) std::abort();
    // A later save writes through the text nodes: they belong to this document.
    if (result == UPDATECFG_OK && cfg.curVersionNode) cfg.curVersionNode->SetValue("0000001");
    TiXmlPrinter printer;
    doc.Accept(&printer);
    return 0;
}
