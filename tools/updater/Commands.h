// Sub-commands of the updater; each returns the process exit code.
#pragma once

#include <string>
#include <vector>

typedef std::vector<std::wstring> Args;

int RunDownload(const Args& args);
int RunUnzip(const Args& args);
int RunMd5(const Args& args);
