#include "PeWriter.h"

#include "Utf8File.h"

#include <cstdio>
#include <vector>

namespace {

const std::uint32_t kFileAlign = 0x200;
const std::uint32_t kSectionAlign = 0x1000;
const std::uint32_t kTextRva = 0x1000;
const std::uint32_t kRsrcRva = 0x2000;
const std::uint32_t kTextOffset = 0x200;
const std::uint32_t kRsrcOffset = 0x400;
const char16_t kTypeName[] = u"RT_RCDATA";
const std::uint32_t kTypeNameLength = 9;
const std::uint32_t kResourceId = 135;
// Root, type and name directories with one entry each, the data entry and
// the type name; the payload follows, 8-aligned.
const std::uint32_t kPayloadInRsrc = 112;

std::uint32_t Align(std::uint32_t v, std::uint32_t a) { return (v + a - 1) / a * a; }

class CBytes {
public:
    explicit CBytes(std::size_t size) : m_bytes(size, '\0') {}
    void U8(std::size_t at, unsigned v) { m_bytes[at] = static_cast<char>(v & 0xFF); }
    void U16(std::size_t at, unsigned v)
    {
        U8(at, v);
        U8(at + 1, v >> 8);
    }
    void U32(std::size_t at, std::uint32_t v)
    {
        U16(at, v & 0xFFFF);
        U16(at + 2, v >> 16);
    }
    void Text(std::size_t at, const char* s)
    {
        for (std::size_t i = 0; s[i]; ++i) U8(at + i, static_cast<unsigned char>(s[i]));
    }
    std::string& Str() { return m_bytes; }

private:
    std::string m_bytes;
};

}  // namespace

std::uint32_t PeTrailer(std::uint32_t payloadSize)
{
    const std::uint32_t rsrcSize = kPayloadInRsrc + payloadSize;
    return Align(rsrcSize, kFileAlign) - rsrcSize;
}

std::string PeHeaderFor(std::uint32_t payloadSize)
{
    const std::uint32_t rsrcSize = kPayloadInRsrc + payloadSize;
    const std::uint32_t rsrcRaw = Align(rsrcSize, kFileAlign);
    CBytes b(kRsrcOffset + kPayloadInRsrc);

    // DOS header: only the signature and the offset of the PE header matter.
    b.Text(0, "MZ");
    b.U32(0x3C, 0x80);

    const std::size_t pe = 0x80;
    b.Text(pe, "PE");
    const std::size_t coff = pe + 4;
    b.U16(coff + 0, 0x14C);   // i386
    b.U16(coff + 2, 2);       // .text and .rsrc
    b.U16(coff + 16, 224);    // optional header size
    b.U16(coff + 18, 0x0103); // relocations stripped, executable, 32-bit

    const std::size_t opt = coff + 20;
    b.U16(opt + 0, 0x10B);             // PE32
    b.U32(opt + 4, kFileAlign);        // size of code
    b.U32(opt + 8, rsrcRaw);           // size of initialised data
    b.U32(opt + 16, kTextRva);         // entry point
    b.U32(opt + 20, kTextRva);         // base of code
    b.U32(opt + 24, kRsrcRva);         // base of data
    b.U32(opt + 28, 0x400000);         // image base
    b.U32(opt + 32, kSectionAlign);
    b.U32(opt + 36, kFileAlign);
    b.U16(opt + 40, 5);                // operating system 5.1
    b.U16(opt + 42, 1);
    b.U16(opt + 48, 5);                // subsystem 5.1
    b.U16(opt + 50, 1);
    b.U32(opt + 56, Align(kRsrcRva + rsrcSize, kSectionAlign));  // size of image
    b.U32(opt + 60, kFileAlign);       // size of headers
    b.U16(opt + 68, 2);                // GUI subsystem: no console window opens
    b.U32(opt + 72, 0x100000);         // stack reserve, commit, heap reserve, commit
    b.U32(opt + 76, 0x1000);
    b.U32(opt + 80, 0x100000);
    b.U32(opt + 84, 0x1000);
    b.U32(opt + 92, 16);               // data directories
    b.U32(opt + 96 + 2 * 8, kRsrcRva); // resource table
    b.U32(opt + 96 + 2 * 8 + 4, rsrcSize);

    const std::size_t sec = opt + 224;
    b.Text(sec, ".text");
    b.U32(sec + 8, 3);
    b.U32(sec + 12, kTextRva);
    b.U32(sec + 16, kFileAlign);
    b.U32(sec + 20, kTextOffset);
    b.U32(sec + 36, 0x60000020);  // code, execute, read
    b.Text(sec + 40, ".rsrc");
    b.U32(sec + 48, rsrcSize);
    b.U32(sec + 52, kRsrcRva);
    b.U32(sec + 56, rsrcRaw);
    b.U32(sec + 60, kRsrcOffset);
    b.U32(sec + 76, 0x40000040);  // initialised data, read

    // Started by hand, the package just ends: xor eax, eax; ret.
    b.U8(kTextOffset, 0x31);
    b.U8(kTextOffset + 1, 0xC0);
    b.U8(kTextOffset + 2, 0xC3);

    const std::size_t r = kRsrcOffset;
    b.U16(r + 12, 1);                          // root: one named entry
    b.U32(r + 16, 0x80000000u | 88);           // name string at 88
    b.U32(r + 20, 0x80000000u | 24);           // type directory at 24
    b.U16(r + 24 + 14, 1);                     // type: one id entry
    b.U32(r + 24 + 16, kResourceId);
    b.U32(r + 24 + 20, 0x80000000u | 48);      // name directory at 48
    b.U16(r + 48 + 14, 1);                     // name: one language
    b.U32(r + 48 + 16, 0);                     // language neutral
    b.U32(r + 48 + 20, 72);                    // data entry at 72
    b.U32(r + 72, kRsrcRva + kPayloadInRsrc);  // data RVA
    b.U32(r + 76, payloadSize);
    b.U16(r + 88, kTypeNameLength);
    for (std::uint32_t i = 0; i < kTypeNameLength; ++i) b.U16(r + 90 + 2 * i, kTypeName[i]);
    return b.Str();
}

bool WritePackageImage(const std::string& zipPath, const std::string& outPath, std::string* error)
{
    std::FILE* in = OpenUtf8(zipPath, "rb");
    if (!in) {
        *error = "cannot read " + zipPath;
        return false;
    }
    std::fseek(in, 0, SEEK_END);
    const long long size = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    if (size < 0 || static_cast<unsigned long long>(size) > kMaxPayload) {
        std::fclose(in);
        *error = "the archive is too large for a package (at most 2 GiB)";
        return false;
    }
    std::FILE* out = OpenUtf8(outPath, "wb");
    if (!out) {
        std::fclose(in);
        *error = "cannot create " + outPath;
        return false;
    }
    const std::uint32_t payload = static_cast<std::uint32_t>(size);
    const std::string header = PeHeaderFor(payload);
    bool ok = std::fwrite(header.data(), 1, header.size(), out) == header.size();
    std::vector<char> buf(1 << 20);
    std::size_t n;
    std::uint64_t copied = 0;
    while (ok && (n = std::fread(buf.data(), 1, buf.size(), in)) > 0) {
        ok = std::fwrite(buf.data(), 1, n, out) == n;
        copied += n;
    }
    ok = ok && copied == payload;
    const std::string pad(PeTrailer(payload), '\0');
    ok = ok && std::fwrite(pad.data(), 1, pad.size(), out) == pad.size();
    std::fclose(in);
    if (std::fclose(out) != 0) ok = false;
    if (!ok) {
        RemoveUtf8(outPath);
        *error = "failed writing " + outPath;
    }
    return ok;
}
