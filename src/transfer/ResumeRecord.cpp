#include "ResumeRecord.h"

namespace {

const char kHeader[] = "tidewell resume 1\n";
const std::size_t kMaxField = 512;

bool PlainText(const std::string& s)
{
    if (s.size() > kMaxField) return false;
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

// Digits only, no sign, no overflow.
bool ReadNumber(const std::string& s, std::size_t* at, std::uint64_t* value)
{
    const std::size_t start = *at;
    std::uint64_t v = 0;
    for (; *at < s.size() && s[*at] >= '0' && s[*at] <= '9'; ++*at) {
        const unsigned d = static_cast<unsigned>(s[*at] - '0');
        if (v > (~0ull - d) / 10) return false;
        v = v * 10 + d;
    }
    *value = v;
    return *at > start;
}

}  // namespace

std::string SResumeRecord::Validator() const
{
    if (length == 0) return "";
    return etag.empty() ? lastModified : etag;
}

SResumeRecord ResumeRecordOf(const std::string& etag, const std::string& lastModified, std::uint64_t length)
{
    SResumeRecord r;
    const bool strong = etag.size() >= 2 && etag.front() == '"' && etag.back() == '"';
    if (strong && PlainText(etag)) r.etag = etag;
    if (PlainText(lastModified)) r.lastModified = lastModified;
    r.length = length;
    return r;
}

std::string ResumeRecordText(const SResumeRecord& record)
{
    return std::string(kHeader) + "length " + std::to_string(record.length) + "\netag " + record.etag +
           "\nlast-modified " + record.lastModified + "\n";
}

bool ReadResumeRecord(const std::string& text, SResumeRecord* out)
{
    if (text.compare(0, sizeof kHeader - 1, kHeader) != 0) return false;
    const char* const keys[3] = {"length ", "etag ", "last-modified "};
    std::string values[3];
    std::size_t at = sizeof kHeader - 1;
    for (int i = 0; i < 3; ++i) {
        const std::string key = keys[i];
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos || text.compare(at, key.size(), key) != 0) return false;
        values[i] = text.substr(at + key.size(), end - at - key.size());
        at = end + 1;
    }
    if (at != text.size()) return false;
    std::size_t pos = 0;
    std::uint64_t length = 0;
    if (!ReadNumber(values[0], &pos, &length) || pos != values[0].size() || length == 0) return false;
    SResumeRecord r = ResumeRecordOf(values[1], values[2], length);
    // A field that would not survive being stored again was not ours.
    if (r.etag != values[1] || r.lastModified != values[2] || r.Validator().empty()) return false;
    *out = r;
    return true;
}

bool ParseContentRange(const std::string& text, SContentRange* out)
{
    const std::string unit = "bytes ";
    if (text.compare(0, unit.size(), unit) != 0) return false;
    std::size_t at = unit.size();
    SContentRange r;
    if (!ReadNumber(text, &at, &r.first) || at >= text.size() || text[at++] != '-') return false;
    if (!ReadNumber(text, &at, &r.last) || at >= text.size() || text[at++] != '/') return false;
    if (!ReadNumber(text, &at, &r.total) || at != text.size()) return false;
    if (r.last < r.first || r.last >= r.total) return false;
    *out = r;
    return true;
}
