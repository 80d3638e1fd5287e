#include "JournalText.h"

#include "PathFence.h"

const char kJournalHeader[] = "tidewell install journal 1\n";

bool ParseJournal(const std::string& bytes, SJournalText* out, std::string* why)
{
    *out = SJournalText();
    auto damaged = [why](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    const std::string header = kJournalHeader;
    if (bytes.empty()) return damaged("empty");
    if (bytes.size() > kMaxJournalBytes) return damaged("larger than " + std::to_string(kMaxJournalBytes) + " bytes");
    if (bytes.compare(0, header.size(), header) != 0) return damaged("no journal header");
    size_t start = header.size();
    for (size_t number = 2;; ++number) {
        const size_t end = bytes.find('\n', start);
        if (end == std::string::npos) break;
        const std::string line = bytes.substr(start, end - start);
        start = end + 1;
        const std::string at = "line " + std::to_string(number) + ": ";
        if (out->committed) return damaged(at + "a line after the commit");
        if (line.find('\r') != std::string::npos) return damaged(at + "carriage return");
        if (line == "C") {
            out->committed = true;
            continue;
        }
        const char kind = line.empty() ? '\0' : line[0];
        if ((kind != 'B' && kind != 'K' && kind != 'N' && kind != 'D') || line.size() < 3 || line[1] != '\t')
            return damaged(at + "not a journal line");
        SJournalLine entry = {kind, line.substr(2)};
        if (FenceName(entry.path, NAME_RELATIVE_PATH, &entry.path) != NAME_OK)
            return damaged(at + "refused path");
        out->lines.push_back(entry);
    }
    return true;
}

std::string JournalLine(char kind, const std::string& utf8Path) { return std::string(1, kind) + "\t" + utf8Path + "\n"; }
