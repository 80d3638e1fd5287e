// The text of the installation journal: a header line, then one line per
// change, a kind letter, a tab and the path relative to the game (UTF-8),
// each ending with LF; "C" alone commits. Anything else is damage.
//   B  the file was moved to the backup directory: put it back
//   K  a copy of the file was kept: put it back
//   N  the file did not exist: delete it, when it is the file the
//      installation wrote there (a tab and that file's MD5 follow the path;
//      without one, nothing was to be written)
//   D  the directory did not exist: remove it when empty
#pragma once

#include <string>
#include <vector>

extern const char kJournalHeader[];  // with its LF
const std::size_t kMaxJournalBytes = 64u << 20;

struct SJournalLine {
    char kind;
    std::string path;    // UTF-8, backslashes
    std::string digest;  // of an N line: the MD5 (lower-case hex) of what was written; "" for none
};

struct SJournalText {
    bool committed = false;
    std::vector<SJournalLine> lines;
};

// False, with *why, for a journal that proves nothing: empty, without its
// header, with CR, an unknown kind, a refused path, lines after the commit.
// A last line without its LF was cut short before the move it announces
// (every line is on disk before its move) and is left out.
bool ParseJournal(const std::string& bytes, SJournalText* out, std::string* why);

std::string JournalLine(char kind, const std::string& utf8Path, const std::string& md5Hex = "");
