// What a partial download keeps beside its bytes so that a later attempt may
// ask for the rest: the server's validator of the file and its whole length.
// Platform-neutral: the texts come from the server and from the disk.
#pragma once

#include <cstdint>
#include <string>

struct SResumeRecord {
    std::string etag;          // strong ETag, quotes included; "" when none
    std::string lastModified;  // the Last-Modified text; "" when none
    std::uint64_t length = 0;  // the whole file

    // The If-Range value: the ETag, else the date; "" when the file cannot be
    // resumed safely (no validator, or no length).
    std::string Validator() const;
};

// A validator pair of a response: a weak ETag ("W/...") does not identify
// bytes and is dropped.
SResumeRecord ResumeRecordOf(const std::string& etag, const std::string& lastModified, std::uint64_t length);

// The record as stored beside the partial file, and back; false for a text
// that is not one (a damaged record is never trusted).
std::string ResumeRecordText(const SResumeRecord& record);
bool ReadResumeRecord(const std::string& text, SResumeRecord* out);

// "bytes FIRST-LAST/TOTAL" of a 206 answer; false for anything else,
// including "*" totals, LAST < FIRST and LAST >= TOTAL.
struct SContentRange {
    std::uint64_t first = 0, last = 0, total = 0;
};
bool ParseContentRange(const std::string& text, SContentRange* out);
