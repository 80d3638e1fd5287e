// The figures of the download status line, from the downloader's counts.
#pragma once

#include <cstdint>

struct SDownloadFigures {
    int pieceIndex = 0;    // completed pieces
    int pieceCount = 0;
    float received = 0;    // MiB within the current piece
    float total = 0;       // MiB of a piece
    float speed = 0;
    bool megabytes = false;  // speed in MB/S, else KB/S
    float single = 0;      // fraction of the piece, 0 to 1
};

// Downloads over 1 GiB are shown in pieces of 256 MiB; smaller ones as one
// piece in MiB; an unknown total (0) shows only what has arrived.
SDownloadFigures ComputeDownloadFigures(std::uint32_t total, std::uint32_t received,
                                        std::uint32_t bytesPerSecond);
