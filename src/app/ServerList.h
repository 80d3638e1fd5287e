// The server list handed to the game: ServerList.ini with the chosen area.
#pragma once

#include <string>

// Writes [ServerList] BigArea=bigArea into path; false when it cannot.
bool WriteServerList(const std::wstring& path, int bigArea);
