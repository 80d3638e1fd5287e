#include "ZDateTime.h"

#include <ctime>

namespace Base {
namespace System {

namespace {
std::tm Local(std::uint32_t value)
{
    std::time_t t = static_cast<std::time_t>(value);
    std::tm out{};
#ifdef _WIN32
    // The runtime keeps this buffer per thread.
    if (const std::tm* p = std::localtime(&t)) out = *p;
#else
    localtime_r(&t, &out);
#endif
    return out;
}
}  // namespace

ZDateTime::ZDateTime(bool bNow)
    : m_nTime(bNow ? static_cast<std::uint32_t>(std::time(nullptr)) : 0)
{
}

int ZDateTime::Minute() const { return Local(m_nTime).tm_min; }
int ZDateTime::Hour() const { return Local(m_nTime).tm_hour; }
int ZDateTime::Day() const { return Local(m_nTime).tm_mday; }
int ZDateTime::Month() const { return Local(m_nTime).tm_mon + 1; }
int ZDateTime::Year() const { return Local(m_nTime).tm_year + 1900; }

}  // namespace System
}  // namespace Base
