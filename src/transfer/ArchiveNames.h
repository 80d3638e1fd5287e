// The names of an archive as a whole: each must be what its encoding says,
// pass the fence, and name a file of its own on a file system that ignores
// case. One refused name refuses the archive before anything is written.
#pragma once

#include "PathFence.h"

namespace FileIO {
class CZipWrapper;
}

// False, with the first refused name and why, when the archive cannot be
// unpacked under kind's rules.
bool CheckArchiveNames(FileIO::CZipWrapper& zip, ENameKind kind, SNameRefusal* refusal);
