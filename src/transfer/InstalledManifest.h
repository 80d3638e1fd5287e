// The installed version's manifest read against the version to reach,
// streamed so that only one manifest is held: which files stay as they are,
// which go, and where the installed files hold chunks the plan wants.
#pragma once

#include <string>
#include <vector>

#include "ChunkPlan.h"
#include "Manifest.h"

// The size of a file (UTF-8 path), or -1 when there is none.
long long LocalSize(const std::string& path);

// (*same)[i]: target's file i is in the installed manifest with the same
// size and digest; *deletions: installed files that target does not have.
void CompareInstalled(const std::string& installedManifest, const SManifest& target, std::vector<bool>* same,
                      std::vector<std::string>* deletions);

// Offers the plan the places of the chunks it wants in the installed files
// (below gameDir) whose size is still the manifest's.
void OfferInstalled(const std::string& installedManifest, CChunkPlan& plan, const std::string& gameDir);
