// Progress of long work on stderr: a bar redrawn in place on a terminal,
// a line at each tenth otherwise (logs and CI keep them readable).
#pragma once

#include <cstddef>
#include <string>

class CProgress {
public:
    CProgress(const char* what, std::size_t total);
    ~CProgress();
    // done of total are finished; item names the one just finished.
    void Step(std::size_t done, const std::string& item = "");

private:
    std::string m_what;
    std::size_t m_total;
    bool m_terminal;
    int m_lastTenth = -1;
    bool m_drawn = false;
};
