#include "Scramble.h"

namespace Scramble {

// GBK bytes of the text "当月光照进旧城的那夜".
const unsigned char kKey[kKeyLength] = {
    0xb5, 0xb1, 0xd4, 0xc2, 0xb9, 0xe2, 0xd5, 0xd5, 0xbd, 0xf8,
    0xbe, 0xc9, 0xb3, 0xc7, 0xb5, 0xc4, 0xc4, 0xc7, 0xd2, 0xb9,
};

void Apply(unsigned char* data, std::size_t length, std::size_t offset)
{
    std::size_t k = offset % kKeyLength;
    for (std::size_t i = 0; i < length; ++i) {
        data[i] ^= kKey[k];
        if (++k == kKeyLength) k = 0;
    }
}

std::string SiblingName(const std::string& fileName)
{
    std::string name = fileName;
    if (name.size() > 4) name[name.size() - 3] = 'e';
    return name;
}

}  // namespace Scramble
