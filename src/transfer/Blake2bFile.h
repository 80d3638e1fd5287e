// The BLAKE2b-512 digest of a file, streamed, for signature checks.
#pragma once

#include <string>

#include "Minisign.h"

// False when the file cannot be opened or read.
bool ComputeFileBlake2b(const std::wstring& path, unsigned char digest[kMinisignDigestBytes]);
