// data\string.txt: the decoder, the line reads, the tokens and the format check.
#include <cstdint>
#include <string>

#include "base/utility/TextTableFile.h"

namespace {

std::wstring Latin1(const std::string& bytes) { return std::wstring(bytes.begin(), bytes.end()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring text = TextTable::DecodeTextFile(bytes, &Latin1);
    TextTable::Entries entries;
    TextTable::ParseText(text, entries);
    for (const auto& e : entries.texts) {
        TextTable::ExpandLineBreaks(e.second);
        TextTable::FormatMatches(e.second, L"s");
    }
    return 0;
}
