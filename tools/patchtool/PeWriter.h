// Writes the patch package format: a PE32 image whose resource 135 of the
// type named "RT_RCDATA" holds the zip archive.
#pragma once

#include <cstdint>
#include <string>

// Everything of the image that comes before the payload; the payload and
// then PeTrailer(payloadSize) zero bytes complete the file.
std::string PeHeaderFor(std::uint32_t payloadSize);
std::uint32_t PeTrailer(std::uint32_t payloadSize);

// Largest payload the format can carry (a 32-bit resource size, and the
// image must stay below 2 GiB to load on 32-bit Windows).
const std::uint32_t kMaxPayload = 0x7F000000u;

// Writes the whole image; false when a file cannot be read or written.
bool WritePackageImage(const std::string& zipPath, const std::string& outPath, std::string* error);
