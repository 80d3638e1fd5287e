// Helpers for tests of the update engine (Windows only).
#pragma once

#include <string>
#include <vector>

#include "TestDir.h"

// A UTF-16LE log without its byte-order mark.
std::wstring LogText(const fs::path& path);
// Names of the .err logs in PatchCfg\PatchTemp\.
std::vector<std::string> ErrLogs();

// data\string.txt as the launcher ships it: UTF-16LE with BOM, one
// quoted entry per line.
void WriteStringTable(const fs::path& appDir, const std::vector<std::pair<std::wstring, std::wstring>>& entries);

// Texts the engine handed to its status listener.
std::vector<std::wstring>& ListenerTexts();
void RecordListenerText(const wchar_t* pText);
