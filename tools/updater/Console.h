// Console output of the updater: UTF-8 text, and a progress line that is
// drawn only when stdout is a terminal.
#pragma once

#include <string>

void PrintLine(const std::wstring& text);       // stdout
void PrintError(const std::wstring& text);      // stderr, prefixed "updater: "
void PrintProgress(const std::wstring& text);   // rewrites the terminal's last line
void EndProgress();
void PrintFraction(float fraction);             // a progress line "  12.5 %"
std::wstring Percent(float fraction);           // "%5.1f %"
std::wstring WithoutLineEnd(const wchar_t* text);  // "" for null
bool StdoutIsTerminal();
