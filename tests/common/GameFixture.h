// Installations, trees and patch packages for the tests of the installer
// and the engine.
#pragma once

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "TestDir.h"

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
std::ostream& operator<<(std::ostream& os, const Snapshot& s);

// PatchCfg\NewUpdateCfg.xml of an installation at version cur.
std::string LocalConfig(const std::string& cur, const std::vector<std::string>& infoUrls = {});

// A patch package with a file list of our own making.
void CraftPackage(const fs::path& out, const std::string& fileList, const Tree& entries);
std::string FileListXml(const std::string& from, const std::string& to, const std::string& items,
                        const std::string& installer = "1.0.0");
std::string AddItem(const std::string& path, const std::string& content);

// A command of patchtool, run in this process.
int RunTool(int (*command)(int, char**), std::vector<std::string> args);

// A game at 0000100 and the package that takes it to 0000200: a changed, a
// read-only, a deleted, an added file in new directories, the launcher
// itself and a Revision.xml that the package deletes.
extern const Tree kOldGame, kNewGame;
// kNewGame as installed: the running launcher gets a ".new" sibling and
// Revision.xml is never deleted.
Tree InstalledNewGame();
