// Writes a file of a manifest from its chunks, each read from the place the
// plan found it in the installation or from the spool of fetched chunks,
// and checks the whole against its BLAKE2b-256 and MD5. Streams: a file of
// any size passes through one chunk of memory.
#pragma once

#include <cstdint>
#include <string>

#include "ChunkPlan.h"
#include "ChunkSpool.h"
#include "Manifest.h"

// Rebuilds file (an index of the plan's target) into outPath (UTF-8); false
// with *why when a chunk cannot be had or the result is not the file.
// *md5Hex gets the written file's MD5 (lower-case hex).
bool RebuildFile(const SManifest& target, std::uint32_t file, const CChunkPlan& plan, CChunkSpool& spool,
                 const std::string& outPath, std::string* md5Hex, std::string* why);
