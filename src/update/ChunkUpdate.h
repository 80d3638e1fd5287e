// Updates and repairs through the chunk store: the manifest of the version
// to reach, a plan of what the installation already holds, the lacking
// chunks fetched, the files rebuilt in the temp directory and installed with
// the journal and its undo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ChunkStoreClient.h"
#include "transfer/ChunkPlan.h"
#include "transfer/ChunkSpool.h"

class CUpdateEngine;
class CStopGuard;

class CChunkUpdate {
public:
    explicit CChunkUpdate(CUpdateEngine& engine);

    // In an update run whose versions differ: true when the run went
    // through the chunk store (its outcome recorded and the window told),
    // false when the step chain is cheaper or the only way.
    bool TryUpdate();
    // Checks the installation against its version's manifest; with repair
    // the missing and damaged files are restored. Records the outcome.
    void Check(bool repair, bool full);

private:
    struct SChain {
        bool usable = false;  // every step has a package
        bool sized = true;    // every package's size is stated
        std::uint64_t bytes = 0;
        unsigned steps = 0;
    };
    SChain ChainCost() const;
    // Which files of target the installation lacks, and where it holds the
    // chunks they need; *deletions: files of the installed version that
    // target does not have (none when that version has no manifest).
    void PlanUpdate(const SManifest& target, const std::string& installedManifest, CChunkPlan& plan,
                    std::vector<std::string>* deletions);
    // Chunks of target that intact local files (all but the rebuilt) hold.
    void Record(const SManifest& m, const struct SVerifyReport& found);
    void PlanRepair(const SManifest& m, const struct SVerifyReport& found, CChunkPlan& plan);
    void OfferIntactFiles(const SManifest& target, CChunkPlan& plan, const std::vector<bool>& rebuilt);
    // Fetch, rebuild, install; failures recorded. versionTo: saved once installed ("" for a repair).
    bool Apply(const SManifest& target, const CChunkPlan& plan, const std::vector<std::string>& deletions,
               const std::string& versionTo);
    bool Fetch(const SManifest& target, const CChunkPlan& plan, CChunkSpool& spool);
    bool Rebuild(const SManifest& target, const CChunkPlan& plan, CChunkSpool& spool,
                 std::vector<std::pair<std::wstring, std::string>>* placed);
    bool Install(const std::vector<std::pair<std::wstring, std::string>>& placed,
                 const std::vector<std::string>& deletions);
    void Failed(bool stopped);
    std::string GameDir() const;
    std::wstring RebuildDir() const;

    CUpdateEngine& m_engine;
    CChunkStoreClient m_store;
    const CStopGuard* m_guard = nullptr;
};
