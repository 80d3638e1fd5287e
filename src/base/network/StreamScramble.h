// The link's stream scrambling. Each direction keeps one key byte for the
// life of the session; every scrambled byte is fed back into the key, so
// after the first byte the key equals the previous plain byte. Message
// boundaries do not reset it.
#pragma once

#include <cstdint>

namespace Base {
namespace NetWork {

enum : std::uint8_t { SCRAMBLE_INITIAL_KEY = 0x6D };

// In place; `key` carries over to the next call of the same direction.
void ScrambleStream(std::uint8_t& key, char* p, std::uint32_t n);
void UnscrambleStream(std::uint8_t& key, char* p, std::uint32_t n);

}  // namespace NetWork
}  // namespace Base
