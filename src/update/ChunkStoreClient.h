// The chunk store of the patch servers as the engine reaches it: where it is
// on each server of the run's version and line (from the update
// information), and its manifests fetched, signature-checked, checked for
// freshness and read.
#pragma once

#include <string>
#include <vector>

#include "transfer/Manifest.h"

class CUpdateEngine;

enum EManifestFetch {
    MANIFEST_FETCHED,
    MANIFEST_ABSENT,   // no server has it, or none could be reached: other ways may still work
    MANIFEST_REFUSED,  // a server sent one that was refused: the fault says why
};

class CChunkStoreClient {
public:
    explicit CChunkStoreClient(CUpdateEngine& engine);

    // The store's addresses for the run's patch servers (PreparePlan chose
    // them); false when the update information names no store.
    bool Load();
    const std::vector<std::string>& Stores() const { return m_stores; }

    // The manifest of version, into the temp directory (*localPath, UTF-8)
    // and, when out is given, read. fresh: it must also not be expired nor
    // older than the accepted publication (the manifests the run relies on).
    EManifestFetch Fetch(const std::string& version, bool fresh, std::string* localPath, SManifest* out);

    // Records the fault of a refused manifest with its own log line.
    void Refuse(const std::string& what, EManifestResult result, const std::string& why);

private:
    CUpdateEngine& m_engine;
    std::vector<std::string> m_stores;
};
