// Shared by the targets of XML readers: the bounded parse every file from
// outside goes through, and a check that the bounds held.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include <tinyxml.h>

#include "base/utility/XmlLoad.h"

inline unsigned DepthOf(const TiXmlNode* node)
{
    unsigned deepest = 0;
    for (const TiXmlNode* c = node->FirstChild(); c; c = c->NextSibling()) {
        const unsigned d = DepthOf(c);
        if (d > deepest) deepest = d;
    }
    return deepest + 1;
}

// Parses the input as a file's bytes; the document may hold an error.
inline bool FuzzParse(TiXmlDocument& doc, const std::uint8_t* data, std::size_t size)
{
    std::string refused;
    const bool ok = ParseXmlBytes(doc, std::string(reinterpret_cast<const char*>(data), size), false,
                                  TIXML_ENCODING_UNKNOWN, &refused);
    // Whatever the parser built stays within the depth the scan allowed
    // (the document node adds one level).
    if (refused.empty() && DepthOf(&doc) > kMaxXmlDepth + 1) std::abort();
    return ok;
}
