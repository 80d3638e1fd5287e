// The installation journal as a power cut may leave it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/JournalText.h"
#include "transfer/PathFence.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SJournalText journal;
    std::string why;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!ParseJournal(bytes, &journal, &why)) return 0;
    // Every path the recovery would touch passed the fence.
    for (const SJournalLine& line : journal.lines)
        if (FenceName(line.path, NAME_RELATIVE_PATH) != NAME_OK) std::abort();
    return 0;
}
