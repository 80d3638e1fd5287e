#include "JournalText.h"

#include "PathFence.h"

const char kJournalHeader[] = "tidewell install journal 2\n";

namespace {

// Journals of the first format (N lines without a digest) are read too.
const char kJournalHeader1[] = "tidewell install journal 1\n";

bool IsMd5Hex(const std::string& text)
{
    if (text.size() != 32) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

}  // namespace

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
    if (bytes.compare(0, header.size(), header) != 0 && bytes.compare(0, header.size(), kJournalHeader1) != 0)
        return damaged("no journal header");
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
        SJournalLine entry = {kind, line.substr(2), ""};
        // Paths hold no tab (the fence refuses control characters).
        const size_t tab = entry.path.find('\t');
        if (tab != std::string::npos) {
            entry.digest = entry.path.substr(tab + 1);
            entry.path.resize(tab);
            if (kind != 'N' || !IsMd5Hex(entry.digest)) return damaged(at + "not a journal line");
        }
        if (FenceName(entry.path, NAME_RELATIVE_PATH, &entry.path) != NAME_OK)
            return damaged(at + "refused path");
        out->lines.push_back(entry);
    }
    return true;
}

std::string JournalLine(char kind, const std::string& utf8Path, const std::string& md5Hex)
{
    return std::string(1, kind) + "\t" + utf8Path + (md5Hex.empty() ? "" : "\t" + md5Hex) + "\n";
}
