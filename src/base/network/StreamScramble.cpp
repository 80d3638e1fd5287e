#include "StreamScramble.h"

namespace Base {
namespace NetWork {

void ScrambleStream(std::uint8_t& key, char* p, std::uint32_t n)
{
    std::uint8_t k = key;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t c = static_cast<std::uint8_t>(p[i]) ^ k;
        p[i] = static_cast<char>(c);
        k ^= c;
    }
    key = k;
}

void UnscrambleStream(std::uint8_t& key, char* p, std::uint32_t n)
{
    std::uint8_t k = key;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t c = static_cast<std::uint8_t>(p[i]);
        p[i] = static_cast<char>(c ^ k);
        k ^= c;
    }
    key = k;
}

}  // namespace NetWork
}  // namespace Base
