// Console output of the updater: UTF-16 to a console, UTF-8 to a pipe or
// file; progress as a line rewritten on a terminal, as lines at 5 % steps
// otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

void PrintLine(const std::wstring& text);       // stdout
void PrintError(const std::wstring& text);      // stderr, prefixed "updater: "
void PrintProgress(const std::wstring& text);   // rewrites the terminal's last line
void EndProgress();
void PrintFraction(float fraction);             // a progress figure "  12.5 %"
void PrintFractionOf(const std::wstring& label, float fraction);
std::wstring Percent(float fraction);           // "%5.1f %"
std::wstring WithoutLineEnd(const wchar_t* text);  // "" for null
bool StdoutIsTerminal();

// --json: every output becomes one JSON object per line on stdout.
void SetJsonOutput(bool on);
bool JsonOutput();
// A step of an update: a text line, or {"event":"step",...}.
void PrintStep(const std::wstring& from, const std::wstring& to);
// The way an update took and why: a text line, or {"event":"route",...}.
void PrintRoute(const std::wstring& route);
// A file a verify found: "missing: PATH", or {"event":"file","state":...,"path":...}.
void PrintFile(const std::wstring& state, const std::wstring& path);
// The counts of a verify or repair.
void PrintCheck(std::size_t files, std::size_t missing, std::size_t damaged, std::size_t unexpected, unsigned restored,
                std::uint64_t fetchedBytes);
// What ended the run, for scripts: the last exit message and the cause.
void SetExitMessage(const std::wstring& message);
void SetExitCause(const std::wstring& cause);
// With --json, {"event":"result","exit":N,...}; nothing otherwise.
void PrintResult(int code);
