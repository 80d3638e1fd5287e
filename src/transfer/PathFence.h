// The one fence between names that a server or a package sends and local
// paths: revision-table package names, base-pack names, the downloaded name
// of an address, file-list paths and zip entries all pass FenceName before
// they become part of a path, and nothing is written under a refused name.
#pragma once

#include <string>
#include <vector>

enum ENameKind {
    NAME_PLAIN_FILE,      // a file name without any separator
    NAME_RELATIVE_PATH,   // a path below the directory it is used in
    NAME_PACKAGE_TARGET,  // a relative path in the game that is not the engine's own
};

enum ENameVerdict {
    NAME_OK = 0,
    NAME_EMPTY,
    NAME_TOO_LONG,
    NAME_ROOTED,           // starts with a separator: root, UNC or device prefix
    NAME_COLON,            // drive letter, stream or device syntax
    NAME_BAD_CHARACTER,    // control character or one of < > " | ? *
    NAME_DOT_COMPONENT,    // ".", ".." or only dots and blanks
    NAME_EMPTY_COMPONENT,  // doubled or trailing separator
    NAME_TRAILING_DOT_OR_BLANK,
    NAME_DEVICE,           // CON, NUL, AUX, PRN, COM1-9, LPT1-9, ... with or without extension
    NAME_SHORT_ALIAS,      // "~" and a digit: may be the 8.3 alias of another name
    NAME_NOT_PLAIN,        // a separator in a plain file name
    NAME_ENGINE_OWNED,     // the local update configuration, the temp or backup folder
};

// Longest name accepted, in characters.
const size_t kMaxNameLength = 200;

// Checks name; on NAME_OK *normalised (when given) holds it with backslashes.
ENameVerdict FenceName(const std::string& name, ENameKind kind, std::string* normalised = nullptr);
ENameVerdict FenceName(const std::wstring& name, ENameKind kind, std::wstring* normalised = nullptr);
const wchar_t* NameVerdictText(ENameVerdict verdict);

// FenceName(path, NAME_RELATIVE_PATH) == NAME_OK.
bool IsSafeRelativePath(const std::string& path);
bool IsSafeRelativePath(const std::wstring& path);

// The first name of the list that kind refuses, or null: one such name
// refuses the whole archive.
const std::wstring* FirstRefusedName(const std::vector<std::wstring>& names, ENameKind kind,
                                     ENameVerdict* verdict = nullptr);

struct SNameRefusal {
    std::wstring name;  // as it reads, or the bytes in hex when they do not decode
    std::wstring why;
};

// Every name must pass the fence (kind), and name a file of its own where
// case is ignored as Windows ignores it: of two that differ only in case, or
// a file and a folder of one name, the later is refused with the other
// named. False with the first refused name.
bool CheckNames(const std::vector<std::wstring>& names, ENameKind kind, SNameRefusal* refusal);

// A name of the engine's own files in its temp directory (the log, the file
// list, partial downloads, ...), which a package of that name would replace
// or be replaced by.
bool IsEngineTempName(const std::string& name);

// Key of the zip name index: slashes for backslashes, A-Z lower-cased.
std::string ZipIndexKey(const std::string& name);
