// A calendar time in whole seconds since 1970-01-01 UTC, read in local time.
#pragma once

#include <cstdint>

namespace Base {
namespace System {

class ZDateTime {
public:
    explicit ZDateTime(bool bNow = true);
    static ZDateTime FromTime(std::uint32_t value)
    {
        ZDateTime d(false);
        d.m_nTime = value;
        return d;
    }

    std::uint32_t Time() const { return m_nTime; }
    int Minute() const;
    int Hour() const;
    int Day() const;
    int Month() const;
    int Year() const;

private:
    std::uint32_t m_nTime;
};

}  // namespace System
}  // namespace Base
