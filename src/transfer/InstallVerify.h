// An installation checked against the manifest of its version: missing and
// damaged files, and files no release put there. The full check hashes every
// byte, on every core; the quick one trusts a file whose size and time of
// change are those a full check recorded in its cache.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Manifest.h"

struct SVerifyOptions {
    bool full = false;
    unsigned threads = 0;   // 0: one per core, at least two
    std::string cachePath;  // UTF-8; "" for none
    // Bytes hashed so far of the bytes to hash; called from the hashing threads, one at a time.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
    const std::atomic<bool>* cancel = nullptr;
};

struct SVerifyReport {
    std::vector<std::uint32_t> missing, damaged;  // indexes of the manifest's files
    std::vector<std::string> unexpected;          // paths (UTF-8, backslashes) that no file of it names
    std::uint64_t bytesHashed = 0;
    std::size_t filesHashed = 0, filesTrusted = 0;
    bool cancelled = false;
    bool Clean() const { return missing.empty() && damaged.empty() && !cancelled; }
};

// gameDir (UTF-8) is the installation's folder. False only when it cannot be read at all.
bool VerifyInstallation(const std::string& gameDir, const SManifest& manifest, const SVerifyOptions& options,
                        SVerifyReport* report);

// The installation's file for a manifest path.
std::string InstalledPath(const std::string& gameDir, const std::string& manifestPath);

// BLAKE2b-256 of a whole file, read in large sequential blocks; false when it cannot be read.
bool FileBlake2b256(const std::string& path, std::uint8_t digest[32], std::uint64_t* bytes = nullptr,
                    const std::atomic<bool>* cancel = nullptr);
