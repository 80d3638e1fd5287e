// A plain HTTP/1.1 GET for check --url: what a server answers for one address,
// with an optional range, the body digested as it arrives. http only.
#pragma once

#include <cstdint>
#include <string>

struct SHttpAnswer {
    int status = 0;               // 0: no answer (error says why)
    std::uint64_t length = 0;     // of the body received
    std::string md5;              // of the body received
    std::string contentRange;     // the header, when sent
    std::string error;
};

// GET url, with "Range: bytes=range" when range is not empty; each wait is
// bounded by timeoutMs.
SHttpAnswer HttpGet(const std::string& url, const std::string& range, int timeoutMs = 15000);
