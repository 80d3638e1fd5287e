// Extracting many zip entries with two readers, so that inflating overlaps
// with writing files.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ZipWrapper.h"

struct SExtractResult {
    bool failed = false;     // an entry failed while stopping at the first failure
    size_t failedIndex = 0;
    DWORD failedError = 0;
    std::vector<char> ok;    // per entry: extracted
    std::vector<std::string> md5;  // per entry: the digest of what was written
};

// Extracts entry i to targets[i]. A second reader is opened with openSecond
// when there are enough entries. report(done) runs on the calling thread
// only (it may send window messages), after each entry that thread finished
// and once at the end; done counts the entries of both readers.
void ExtractAll(FileIO::CZipWrapper& first, const std::function<bool(FileIO::CZipWrapper&)>& openSecond,
                const std::vector<std::wstring>& names, const std::vector<std::wstring>& targets, bool stopOnError,
                const std::function<void(size_t done)>& report, SExtractResult* result);
