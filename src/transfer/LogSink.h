// Where the transfer classes write their log lines: the owner passes a sink
// (the engine's update log), so that they need no engine.
#pragma once

#include <functional>
#include <string>

typedef std::function<void(const std::wstring& line)> LogSink;
