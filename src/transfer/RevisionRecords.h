// PatchCfg\Revision.xml read into records, in file order.
#pragma once

#include <string>
#include <vector>

#include "Revision.h"

class TiXmlDocument;

// More records than this refuse the table.
const std::size_t kMaxRevisionRecords = 10000;

enum ERevisionResult { REVISION_OK, REVISION_NO_ROOT, REVISION_TOO_MANY };

ERevisionResult ReadRevisionRecords(const TiXmlDocument& doc, std::vector<SRevision>* out);
