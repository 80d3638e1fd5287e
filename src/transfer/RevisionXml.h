// PatchCfg\Revision.xml: which package leads from one version to another.
#pragma once

#include <map>
#include <string>

#include "LogSink.h"
#include "Revision.h"

class CRevisionXml {
public:
    // Replaces the records with those of the file; failures are logged to
    // log (may be empty) and leave the table empty.
    bool Load(const char* path, const LogSink& log);

    // query.prevversion is the client, query.interversion the server version.
    // The first record (in interversion order) that starts at the client and
    // stays at or below the server fills query.upgrade and moves
    // query.interversion to its step.
    void FindUpgrade(SRevision& query) const;
    // The first record that ends at the client and goes back no further than
    // the server fills query.degrade and moves query.prevversion.
    void FindDegrade(SRevision& query) const;

    size_t Count() const { return m_records.size(); }
    // The last Load was refused for its size, depth or record count.
    bool BoundExceeded() const { return m_bBoundExceeded; }

private:
    std::map<std::string, SRevision> m_records;  // by interversion
    bool m_bBoundExceeded = false;
};

// The process-wide table of the engine.
CRevisionXml& RevisionTable();
