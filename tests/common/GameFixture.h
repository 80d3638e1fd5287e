// Installations, trees and patch packages for the tests of the installer
// and the engine.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestUtil.h"

typedef std::map<std::string, std::string> Tree;  // relative path -> bytes

void WriteTree(const fs::path& base, const Tree& tree);
std::string Lower(std::string text);

// Files (lower-cased paths when lower) and directories below dir, without
// the installer's own places.
struct Snapshot {
    Tree files;
    std::set<std::string> dirs;
    bool operator==(const Snapshot& o) const { return files == o.files && dirs == o.dirs; }
};
Snapshot TakeSnapshot(const fs::path& dir, bool lower = false);

// PatchCfg\NewUpdateCfg.xml of an installation at version cur.
std::string LocalConfig(const std::string& cur, const std::vector<std::string>& infoUrls = {});

// A patch package with a file list of our own making, and its parts.
void CraftPackage(const fs::path& out, const std::string& fileList, const Tree& entries);
std::string FileListXml(const std::string& from, const std::string& to, const std::string& items,
                        const std::string& installer = "1.0.0");
std::string AddItem(const std::string& path, const std::string& content);
// The entry of Data\big.pak as a delta from base to a file of result's size
// and digest resultMd5.
// kind may carry further attributes: "diff-solid\" deltaslice=\"0:9".
std::string DeltaItem(const std::string& result, const std::string& base, const std::string& resultMd5,
                      const std::string& kind = "zstd");
// Bytes without long repeats: a file that only a delta makes small.
std::string UncompressibleBytes(size_t n);

// A command of patchtool, run in this process.
int RunTool(int (*command)(int, char**), std::vector<std::string> args);

// A game at 0000100 and what the package to 0000200 makes of it: a changed,
// a read-only, a deleted and a new file in new directories, the running
// launcher (replaced at its next start) and a Revision.xml never deleted.
extern const Tree kOldGame, kNewGame, kInstalledNewGame;
// Writes from and to below dir, named by their versions, and packs the step
// between them into dir/out.
void PackStep(const fs::path& dir, const Tree& from, const Tree& to, const std::string& fromVersion,
              const std::string& toVersion, const std::string& out, bool delta = false);
