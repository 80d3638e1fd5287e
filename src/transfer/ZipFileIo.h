// minizip file functions over a Win32 file with a read-ahead buffer: the zip
// reader fetches header fields a byte at a time, which would otherwise be one
// system call each.
#pragma once

#include <ioapi.h>

// The open function takes the path as a wide string (const wchar_t*).
void FillBufferedWin32FileFuncs(zlib_filefunc64_def* funcs);
