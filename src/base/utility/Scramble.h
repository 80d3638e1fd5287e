// Byte-wise XOR scrambling of configuration files. The operation is its own
// inverse: the launcher uses it to read ".eml" siblings, patchtool to write them.
#pragma once

#include <cstddef>
#include <string>

namespace Scramble {

// Length of the key in bytes: the key is a GBK text of ten characters.
constexpr std::size_t kKeyLength = 20;
extern const unsigned char kKey[kKeyLength];

// XORs byte i of the buffer with key byte (offset + i) mod 20, where offset
// is the position of data[0] in the file.
void Apply(unsigned char* data, std::size_t length, std::size_t offset = 0);

// Name of the scrambled sibling: the first letter of a three-letter
// extension becomes 'e' ("a.xml" -> "a.eml"); names of 4 bytes or fewer
// stay as they are.
std::string SiblingName(const std::string& fileName);

}  // namespace Scramble
