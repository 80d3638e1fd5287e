// Bytes of an XML file: the size and depth scan in front of TinyXML.
#include "FuzzXml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TiXmlDocument doc;
    FuzzParse(doc, data, size);
    return 0;
}
