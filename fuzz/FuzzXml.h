// Shared by the targets of XML readers: the bounded parse every file from
// outside goes through, and a check that the bounds held.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include <tinyxml.h>

#include "base/utility/XmlLoad.h"

// Levels of nested elements: the parser recurses once per element; text,
// comments and the like are leaves.
inline unsigned ElementDepth(const TiXmlNode* node)
{
    unsigned deepest = 0;
    for (const TiXmlElement* c = node->FirstChildElement(); c; c = c->NextSiblingElement()) {
        const unsigned d = ElementDepth(c) + 1;
        if (d > deepest) deepest = d;
    }
    return deepest;
}

// Parses the input as a file's bytes; the document may hold an error.
inline bool FuzzParse(TiXmlDocument& doc, const std::uint8_t* data, std::size_t size)
{
    std::string refused;
    const bool ok = ParseXmlBytes(doc, std::string(reinterpret_cast<const char*>(data), size), false,
                                  TIXML_ENCODING_UNKNOWN, &refused);
    // Whatever the parser built stays within the depth the scan allowed.
    if (refused.empty() && ElementDepth(&doc) > kMaxXmlDepth) std::abort();
    return ok;
}
