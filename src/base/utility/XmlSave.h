// The one way a configuration document is saved.
#pragma once

#include <string>

class TiXmlDocument;

// Writes "PATH.tmp", flushes it to the disk and moves it over PATH with
// write-through, so that a failed or interrupted save keeps the old file
// whole. Read-only attributes in the way are cleared. False on any failure,
// with the Win32 error set (ERROR_DISK_FULL for a full disk);
// the temporary file is then removed.
bool SaveXmlDocument(const TiXmlDocument& doc, const std::string& path);
