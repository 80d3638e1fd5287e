#include "PeResource.h"

#include <cctype>
#include <vector>

namespace {

const std::uint32_t kHighBit = 0x80000000u;
const unsigned kMaxSections = 96;
const unsigned kMaxEntries = 4096;

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawSize;
    std::uint32_t rawPointer;
};

class CPeReader {
public:
    CPeReader(const IByteSource& image, std::string* error) : m_image(image), m_error(error) {}

    bool Fail(const char* why)
    {
        if (m_error) *m_error = why;
        return false;
    }

    bool U16(std::uint64_t offset, std::uint16_t* v)
    {
        unsigned char b[2];
        if (!m_image.Read(offset, b, 2)) return false;
        *v = static_cast<std::uint16_t>(b[0] | b[1] << 8);
        return true;
    }

    bool U32(std::uint64_t offset, std::uint32_t* v)
    {
        unsigned char b[4];
        if (!m_image.Read(offset, b, 4)) return false;
        *v = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
             static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
        return true;
    }

    bool ReadHeaders()
    {
        std::uint16_t mz;
        if (!U16(0, &mz) || mz != 0x5A4D) return Fail("no MZ header");
        std::uint32_t peOffset;
        if (!U32(0x3C, &peOffset)) return Fail("truncated DOS header");
        std::uint32_t signature;
        if (!U32(peOffset, &signature) || signature != 0x00004550) return Fail("no PE signature");
        const std::uint64_t coff = static_cast<std::uint64_t>(peOffset) + 4;
        std::uint16_t sections, optionalSize, magic;
        if (!U16(coff + 2, &sections) || !U16(coff + 16, &optionalSize)) return Fail("truncated file header");
        if (sections == 0 || sections > kMaxSections) return Fail("bad section count");
        const std::uint64_t optional = coff + 20;
        if (!U16(optional, &magic)) return Fail("truncated optional header");
        std::uint64_t countAt, dirsAt;
        if (magic == 0x10B) {
            countAt = optional + 92;
            dirsAt = optional + 96;
        } else if (magic == 0x20B) {
            countAt = optional + 108;
            dirsAt = optional + 112;
        } else {
            return Fail("unknown optional header");
        }
        std::uint32_t dirCount;
        if (!U32(countAt, &dirCount)) return Fail("truncated optional header");
        // The resource table is data directory 2, inside the optional header.
        if (dirCount < 3 || dirsAt + 3 * 8 > optional + optionalSize) return Fail("no resource directory");
        if (!U32(dirsAt + 2 * 8, &m_resourceRva) || !U32(dirsAt + 2 * 8 + 4, &m_resourceSize))
            return Fail("truncated data directories");
        if (m_resourceRva == 0) return Fail("no resources");

        const std::uint64_t table = optional + optionalSize;
        for (unsigned i = 0; i < sections; ++i) {
            const std::uint64_t s = table + 40ull * i;
            Section sec;
            if (!U32(s + 8, &sec.virtualSize) || !U32(s + 12, &sec.virtualAddress) || !U32(s + 16, &sec.rawSize) ||
                !U32(s + 20, &sec.rawPointer))
                return Fail("truncated section table");
            m_sections.push_back(sec);
        }
        if (!RvaToOffset(m_resourceRva, 16, &m_resourceBase)) return Fail("resource directory outside the file");
        return true;
    }

    // A range of `length` bytes at `rva` that lies in one section's file data.
    bool RvaToOffset(std::uint32_t rva, std::uint32_t length, std::uint64_t* offset)
    {
        for (const Section& s : m_sections) {
            const std::uint64_t start = s.virtualAddress;
            const std::uint64_t end = start + s.rawSize;
            if (rva >= start && static_cast<std::uint64_t>(rva) + length <= end) {
                *offset = static_cast<std::uint64_t>(s.rawPointer) + (rva - start);
                return *offset + length <= m_image.Size();
            }
        }
        return false;
    }

    bool NameMatches(std::uint32_t nameOffset, const char* wanted)
    {
        const std::uint64_t at = m_resourceBase + (nameOffset & ~kHighBit);
        std::uint16_t length;
        if (!U16(at, &length)) return false;
        std::string w(wanted);
        if (length != w.size()) return false;
        for (std::uint16_t i = 0; i < length; ++i) {
            std::uint16_t ch;
            if (!U16(at + 2 + 2ull * i, &ch)) return false;
            if (ch > 0x7F || std::toupper(ch) != std::toupper(static_cast<unsigned char>(w[i]))) return false;
        }
        return true;
    }

    // Finds an entry of the directory at `dirOffset` (relative to the resource
    // base); a null name takes the first entry whatever it is.
    bool FindEntry(std::uint32_t dirOffset, const char* name, std::uint32_t id, bool wantDirectory,
                   std::uint32_t* target)
    {
        const std::uint64_t dir = m_resourceBase + dirOffset;
        std::uint16_t named, ids;
        if (!U16(dir + 12, &named) || !U16(dir + 14, &ids)) return false;
        const unsigned total = static_cast<unsigned>(named) + ids;
        if (total > kMaxEntries) return false;
        for (unsigned i = 0; i < total; ++i) {
            std::uint32_t entryName, entryData;
            if (!U32(dir + 16 + 8ull * i, &entryName) || !U32(dir + 20 + 8ull * i, &entryData)) return false;
            const bool isNamed = (entryName & kHighBit) != 0;
            bool match;
            if (name == nullptr && id == 0xFFFFFFFFu)
                match = true;
            else if (name != nullptr)
                match = isNamed && NameMatches(entryName, name);
            else
                match = !isNamed && entryName == id;
            if (!match) continue;
            if (((entryData & kHighBit) != 0) != wantDirectory) continue;
            *target = entryData & ~kHighBit;
            return true;
        }
        return false;
    }

    bool Find(const char* typeName, std::uint16_t id, SResourceLocation* out)
    {
        if (!ReadHeaders()) return false;
        std::uint32_t typeDir, nameDir, dataEntry;
        if (!FindEntry(0, typeName, 0, true, &typeDir)) return Fail("no resource type of that name");
        if (!FindEntry(typeDir, nullptr, id, true, &nameDir)) return Fail("no resource with that id");
        if (!FindEntry(nameDir, nullptr, 0xFFFFFFFFu, false, &dataEntry)) return Fail("no resource data entry");
        std::uint32_t dataRva, dataSize;
        if (!U32(m_resourceBase + dataEntry, &dataRva) || !U32(m_resourceBase + dataEntry + 4, &dataSize))
            return Fail("truncated resource data entry");
        if (!RvaToOffset(dataRva, dataSize, &out->offset)) return Fail("resource data outside the file");
        out->size = dataSize;
        return true;
    }

private:
    const IByteSource& m_image;
    std::string* m_error;
    std::vector<Section> m_sections;
    std::uint32_t m_resourceRva = 0;
    std::uint32_t m_resourceSize = 0;
    std::uint64_t m_resourceBase = 0;
};

}  // namespace

bool FindPeResource(const IByteSource& image, const char* typeName, std::uint16_t id, SResourceLocation* out,
                    std::string* error)
{
    if (typeName == nullptr || out == nullptr) return false;
    CPeReader reader(image, error);
    return reader.Find(typeName, id, out);
}
