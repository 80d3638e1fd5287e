#include "ProgressFigures.h"

namespace {
const std::uint32_t kMiB = 1048576;
const std::uint32_t kGiB = 1073741824;
const std::uint32_t kPiece = 268435456;
}  // namespace

SDownloadFigures ComputeDownloadFigures(std::uint32_t total, std::uint32_t received,
                                        std::uint32_t bytesPerSecond)
{
    SDownloadFigures f;
    if (bytesPerSecond > kMiB) {
        f.speed = static_cast<float>(bytesPerSecond) / kMiB;
        f.megabytes = true;
    } else {
        f.speed = static_cast<float>(bytesPerSecond) / 1024;
    }

    if (total > kGiB) {
        f.pieceCount = static_cast<int>(total / kPiece);
        f.pieceIndex = static_cast<int>(received / kPiece);
        f.total = 256.0f;
        f.received = static_cast<float>(received % kPiece) / kMiB;
        f.single = f.received / f.total;
    } else if (total > 0) {
        f.pieceCount = 1;
        f.pieceIndex = received >= total ? 1 : 0;
        f.total = static_cast<float>(total) / kMiB;
        f.received = static_cast<float>(received) / kMiB;
        f.single = static_cast<float>(static_cast<double>(received) / total);
    } else {
        f.pieceCount = 1;
        f.received = static_cast<float>(received) / kMiB;
    }
    if (f.single > 1.0f) f.single = 1.0f;
    return f;
}
