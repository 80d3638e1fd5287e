// The <upgrade>/<degrade> element of a Revision.xml record for a package file.
#pragma once

#include <string>

class TiXmlElement;

// Adds kind ("upgrade" or "degrade") with the package's file name, size and
// MD5; lowerName writes the name in lower case (as a server serves it).
bool AddPackageElement(TiXmlElement* record, const char* kind, const std::string& path, bool lowerName,
                       std::string* error);
// Names the step's delta package on the kind element added last.
bool AddDeltaAttributes(TiXmlElement* record, const char* kind, const std::string& path, bool lowerName,
                        std::string* error);
