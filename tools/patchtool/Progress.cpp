#include "Progress.h"

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#define TW_ISATTY _isatty
#define TW_FILENO _fileno
#else
#include <unistd.h>
#define TW_ISATTY isatty
#define TW_FILENO fileno
#endif

CProgress::CProgress(const char* what, std::size_t total)
    : m_what(what), m_total(total), m_terminal(TW_ISATTY(TW_FILENO(stderr)) != 0)
{
}

CProgress::~CProgress()
{
    if (m_drawn) std::fputc('\n', stderr);
}

void CProgress::Step(std::size_t done, const std::string& item)
{
    if (m_total == 0) return;
    const int tenth = static_cast<int>(done * 10 / m_total);
    if (m_terminal) {
        const int width = 30, filled = static_cast<int>(done * width / m_total);
        std::fprintf(stderr, "\r%s [%s%s] %zu/%zu %s\x1b[K", m_what.c_str(), std::string(filled, '#').c_str(),
                     std::string(width - filled, ' ').c_str(), done, m_total, item.c_str());
        std::fflush(stderr);
        m_drawn = true;
        return;
    }
    if (tenth == m_lastTenth && done != m_total) return;
    m_lastTenth = tenth;
    std::fprintf(stderr, "%s: %zu/%zu%s%s\n", m_what.c_str(), done, m_total, item.empty() ? "" : " ", item.c_str());
}
