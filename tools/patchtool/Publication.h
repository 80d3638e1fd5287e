// A release as publish, release and check see it: the description of the
// update information and its steps, the checks that refuse a release before
// it can fail on players' machines, and the writing of a published folder.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ChunkStore.h"

class CSigner;

struct SPackageRef {
    std::string path;          // the package file
    bool listed = false;       // size and md5 are what a revision table states
    std::uint64_t size = 0;
    std::string md5;
    bool empty() const { return path.empty(); }
};

struct SStep {
    std::string prev, inter;
    SPackageRef upgrade, degrade, upgradeDelta, degradeDelta;
};

struct SDescription {
    std::string latest;
    std::vector<std::map<std::string, std::string>> servers;
    std::vector<SStep> steps;
    std::vector<std::string> infoUrls;
    std::string basepack[2][2];  // url, filename
    std::string linkIp, linkPorts;
    std::vector<std::pair<std::string, std::string>> files;  // name, path
    std::vector<SChunkTree> trees;  // whole trees of versions, for the chunk store
    bool chunkStore = false;        // the published folder has one (its manifests)
};

// The folder of the chunk store in a published folder and in the update information.
extern const char kStoreDir[];

extern const char kDescriptionHelp[];

// A description file (paths relative to it).
bool ReadDescription(const std::string& path, SDescription* d, std::string* error);
// A published folder: its update information (the _qa one with qa) and the
// packages where its servers' folders hold them, with what the table lists.
bool ReadPublished(const std::string& dir, bool qa, SDescription* d, std::string* error);

// Everything that would fail on a player's machine, one line each ("" when
// none): versions, addresses, names, each package's versions and contents,
// and that every version reaches the latest.
std::vector<std::string> CheckRelease(const SDescription& d);

struct SPublishOptions {
    bool qa = false;
    const CSigner* signer = nullptr;
    std::uint64_t timestamp = 0;
    // Signed publications expire (the launcher refuses them after): at
    // expiresAt, else now + expiresDays.
    std::uint64_t expiresAt = 0;
    unsigned expiresDays = 30;
    int level = 19;  // zstd level of the chunks
};

// The sequence number of a published folder: the highest its signatures
// and manifests carry (0 for none). A publication takes the next one.
std::uint64_t PublishedSequence(const std::string& dir);
// The trusted comment fields of a publication's signatures ("\tsequence:S\texpires:E").
std::string FreshnessFields(std::uint64_t sequence, const SPublishOptions& options);
// Signs a published folder again, in place (staged): the update information
// (the _qa one with qa) and every manifest, with the next sequence number
// and a new expiry. The files signed.
bool RefreshPublication(const std::string& dir, const SPublishOptions& options, std::vector<std::string>* signedFiles,
                        std::string* error);

// Writes the published folder: staged beside it and moved in, packages first
// and the update information last, so that no reader ever sees half of it.
// QA output never replaces a production file. The files written, in order.
bool WritePublication(const SDescription& d, const std::string& outDir, const SPublishOptions& options,
                      std::vector<std::string>* written, std::string* error);

// The name a package is served under: its file name, lower case.
std::string ServedName(const std::string& packagePath);
