#include "DiffWriter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <lzma.h>

#include "transfer/DiffDelta.h"
#include "transfer/X86Filter.h"

namespace fs = std::filesystem;

namespace {

typedef std::int32_t Index;

// Suffix sorting by doubling (Larsson and Sadakane): I becomes the suffix
// array of old (with the empty suffix first). The groups are refined with an
// explicit stack, in the order the recursive form takes, so that no file
// depth reaches the thread's stack.
class CSuffixSorter {
public:
    CSuffixSorter(std::vector<Index>& I, std::vector<Index>& V) : I(I), V(V) {}

    void Sort(const std::uint8_t* old, Index size)
    {
        Index buckets[256] = {};
        for (Index i = 0; i < size; ++i) buckets[old[i]]++;
        for (int i = 1; i < 256; ++i) buckets[i] += buckets[i - 1];
        for (int i = 255; i > 0; --i) buckets[i] = buckets[i - 1];
        buckets[0] = 0;
        for (Index i = 0; i < size; ++i) I[static_cast<size_t>(++buckets[old[i]])] = i;
        I[0] = size;
        for (Index i = 0; i < size; ++i) V[static_cast<size_t>(i)] = buckets[old[i]];
        V[static_cast<size_t>(size)] = 0;
        for (int i = 1; i < 256; ++i)
            if (buckets[i] == buckets[i - 1] + 1) I[static_cast<size_t>(buckets[i])] = -1;
        I[0] = -1;
        for (Index h = 1; I[0] != -(size + 1); h += h) {
            Index len = 0, i = 0;
            while (i < size + 1) {
                if (I[static_cast<size_t>(i)] < 0) {
                    len -= I[static_cast<size_t>(i)];
                    i -= I[static_cast<size_t>(i)];
                } else {
                    if (len) I[static_cast<size_t>(i - len)] = -len;
                    len = V[static_cast<size_t>(I[static_cast<size_t>(i)])] + 1 - i;
                    Split(i, len, h);
                    i += len;
                    len = 0;
                }
            }
            if (len) I[static_cast<size_t>(i - len)] = -len;
        }
        for (Index i = 0; i < size + 1; ++i) I[static_cast<size_t>(V[static_cast<size_t>(i)])] = i;
    }

private:
    Index Key(Index k, Index h) const { return V[static_cast<size_t>(I[static_cast<size_t>(k)] + h)]; }
    void Swap(Index a, Index b) { std::swap(I[static_cast<size_t>(a)], I[static_cast<size_t>(b)]); }

    struct SWork {
        bool mark;  // set the ranks of the group [a, b) (else split [a, a + b))
        Index a, b;
    };

    void Split(Index start0, Index len0, Index h)
    {
        std::vector<SWork> stack = {{false, start0, len0}};
        while (!stack.empty()) {
            const SWork w = stack.back();
            stack.pop_back();
            if (w.mark) {
                for (Index i = 0; i < w.b - w.a; ++i) V[static_cast<size_t>(I[static_cast<size_t>(w.a + i)])] = w.b - 1;
                if (w.a == w.b - 1) I[static_cast<size_t>(w.a)] = -1;
                continue;
            }
            const Index start = w.a, len = w.b;
            if (len < 16) {
                SmallSplit(start, len, h);
                continue;
            }
            const Index x = Key(start + len / 2, h);
            Index jj = 0, kk = 0;
            for (Index i = start; i < start + len; ++i) {
                if (Key(i, h) < x) ++jj;
                if (Key(i, h) == x) ++kk;
            }
            jj += start;
            kk += jj;
            Index i = start, j = 0, k = 0;
            while (i < jj) {
                if (Key(i, h) < x) {
                    ++i;
                } else if (Key(i, h) == x) {
                    Swap(i, jj + j);
                    ++j;
                } else {
                    Swap(i, kk + k);
                    ++k;
                }
            }
            while (jj + j < kk) {
                if (Key(jj + j, h) == x) {
                    ++j;
                } else {
                    Swap(jj + j, kk + k);
                    ++k;
                }
            }
            // Left, then the group's ranks, then right: pushed in reverse.
            if (start + len > kk) stack.push_back({false, kk, start + len - kk});
            stack.push_back({true, jj, kk});
            if (jj > start) stack.push_back({false, start, jj - start});
        }
    }

    void SmallSplit(Index start, Index len, Index h)
    {
        for (Index k = start, j = 1; k < start + len; k += j) {
            j = 1;
            Index x = Key(k, h);
            for (Index i = 1; k + i < start + len; ++i) {
                if (Key(k + i, h) < x) {
                    x = Key(k + i, h);
                    j = 0;
                }
                if (Key(k + i, h) == x) {
                    Swap(k + j, k + i);
                    ++j;
                }
            }
            for (Index i = 0; i < j; ++i) V[static_cast<size_t>(I[static_cast<size_t>(k + i)])] = k + j - 1;
            if (j == 1) I[static_cast<size_t>(k)] = -1;
        }
    }

    std::vector<Index>& I;
    std::vector<Index>& V;
};

Index MatchLength(const std::uint8_t* a, Index an, const std::uint8_t* b, Index bn)
{
    Index i = 0;
    while (i < an && i < bn && a[i] == b[i]) ++i;
    return i;
}

// memcmp in short pieces: the comparison stops at the first difference
// however long the range (a checked build otherwise reads all of it).
int CompareBytes(const std::uint8_t* a, const std::uint8_t* b, Index n)
{
    // Most comparisons of the search end within a few bytes.
    const Index head = std::min<Index>(n, 16);
    for (Index i = 0; i < head; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    for (Index done = head; done < n; done += 256) {
        const int c = std::memcmp(a + done, b + done, static_cast<size_t>(std::min<Index>(256, n - done)));
        if (c != 0) return c;
    }
    return 0;
}

// The longest match of target in old, by binary search over the suffix array.
Index Search(const std::vector<Index>& I, const std::uint8_t* old, Index oldSize, const std::uint8_t* target,
             Index targetSize, Index* pos)
{
    Index st = 0, en = oldSize;
    while (en - st >= 2) {
        const Index x = st + (en - st) / 2;
        const Index at = I[static_cast<size_t>(x)];
        if (CompareBytes(old + at, target, std::min(oldSize - at, targetSize)) < 0)
            st = x;
        else
            en = x;
    }
    const Index a = I[static_cast<size_t>(st)], b = I[static_cast<size_t>(en)];
    const Index x = MatchLength(old + a, oldSize - a, target, targetSize);
    const Index y = MatchLength(old + b, oldSize - b, target, targetSize);
    *pos = x > y ? a : b;
    return std::max(x, y);
}

// A signed number as a zigzag varint: small magnitudes take one byte.
void PutNumber(std::string& out, std::int64_t v)
{
    std::uint64_t u = (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
    while (u >= 0x80) {
        out.push_back(static_cast<char>((u & 0x7F) | 0x80));
        u >>= 7;
    }
    out.push_back(static_cast<char>(u));
}

// The three streams of a delta; the control stream's triples are
// (difference bytes, literal bytes, seek in old).
class CDeltaStreams {
public:
    std::string control, diff, extra;

    void Add(const std::uint8_t* old, Index lastPos, const std::uint8_t* now, Index lastScan, Index lenF, Index literal,
             Index seek)
    {
        for (Index i = 0; i < lenF; ++i) diff.push_back(static_cast<char>(now[lastScan + i] - old[lastPos + i]));
        extra.append(reinterpret_cast<const char*>(now + lastScan + lenF), static_cast<size_t>(literal));
        if (lenF + literal == 0 && seekOnly) {
            // Seeks add up: never two triples that write nothing in a row.
            pendingSeek += seek;
        } else {
            if (seekOnly) PutNumber(control, pendingSeek);
            lastTriple = control.size();
            PutNumber(control, lenF);
            PutNumber(control, literal);
            seekOnly = lenF + literal == 0;
            if (seekOnly)
                pendingSeek = seek;
            else
                PutNumber(control, seek);
        }
    }

    void Finish()
    {
        if (seekOnly) control.resize(lastTriple);  // a triple at the end that writes nothing leads nowhere
    }

private:
    bool seekOnly = false;  // the last triple writes nothing: its seek is pending
    std::int64_t pendingSeek = 0;
    std::size_t lastTriple = 0;
};

// Moves scan on to the next match that old at the current offset does not
// already cover; false when the scan ended on one that it does.
bool NextMatch(const std::vector<Index>& I, const std::uint8_t* old, Index oldSize, const std::uint8_t* now,
               Index newSize, Index lastOffset, Index& scan, Index& len, Index& pos)
{
    Index oldScore = 0;
    for (Index scsc = scan += len; scan < newSize; ++scan) {
        len = Search(I, old, oldSize, now + scan, newSize - scan, &pos);
        for (; scsc < scan + len; ++scsc)
            if (scsc + lastOffset < oldSize && old[scsc + lastOffset] == now[scsc]) ++oldScore;
        if ((len == oldScore && len != 0) || len > oldScore + 8) break;
        if (scan + lastOffset < oldSize && old[scan + lastOffset] == now[scan]) --oldScore;
    }
    return !(len == oldScore && scan != newSize);
}

// How far the last match runs on (lenF) and the next one reaches back (lenB),
// an overlap shared out where each matches best.
void MatchExtents(const std::uint8_t* old, Index oldSize, const std::uint8_t* now, Index newSize, Index lastScan,
                  Index lastPos, Index scan, Index pos, Index* lenFOut, Index* lenBOut)
{
    Index s = 0, best = 0, lenF = 0;
    for (Index i = 0; lastScan + i < scan && lastPos + i < oldSize;) {
        if (old[lastPos + i] == now[lastScan + i]) ++s;
        ++i;
        if (s * 2 - i > best * 2 - lenF) {
            best = s;
            lenF = i;
        }
    }
    Index lenB = 0;
    if (scan < newSize) {
        s = 0;
        best = 0;
        for (Index i = 1; scan >= lastScan + i && pos >= i; ++i) {
            if (old[pos - i] == now[scan - i]) ++s;
            if (s * 2 - i > best * 2 - lenB) {
                best = s;
                lenB = i;
            }
        }
    }
    if (lastScan + lenF > scan - lenB) {
        const Index overlap = lastScan + lenF - (scan - lenB);
        s = 0;
        best = 0;
        Index lenS = 0;
        for (Index i = 0; i < overlap; ++i) {
            if (now[lastScan + lenF - overlap + i] == old[lastPos + lenF - overlap + i]) ++s;
            if (now[scan - lenB + i] == old[pos - lenB + i]) --s;
            if (s > best) {
                best = s;
                lenS = i + 1;
            }
        }
        lenF += lenS - overlap;
        lenB -= lenS;
    }
    *lenFOut = lenF;
    *lenBOut = lenB;
}

// Matches that are mostly equal become a difference (new minus old, mostly
// zeros), what lies between them literal bytes.
void DiffStreams(const std::uint8_t* old, Index oldSize, const std::uint8_t* now, Index newSize, CDeltaStreams* streams)
{
    std::vector<Index> I(static_cast<size_t>(oldSize + 1));
    {
        std::vector<Index> V(static_cast<size_t>(oldSize + 1));
        CSuffixSorter(I, V).Sort(old, oldSize);
    }
    Index scan = 0, len = 0, pos = 0, lastScan = 0, lastPos = 0, lastOffset = 0;
    while (scan < newSize) {
        if (!NextMatch(I, old, oldSize, now, newSize, lastOffset, scan, len, pos)) continue;
        Index lenF = 0, lenB = 0;
        MatchExtents(old, oldSize, now, newSize, lastScan, lastPos, scan, pos, &lenF, &lenB);
        const Index literal = (scan - lenB) - (lastScan + lenF);
        const Index seek = (pos - lenB) - (lastPos + lenF);
        streams->Add(old, lastPos, now, lastScan, lenF, literal, seek);
        lastScan = scan - lenB;
        lastPos = pos - lenB;
        lastOffset = pos - scan;
    }
    streams->Finish();
}

bool ReadWhole(const std::string& path, std::vector<std::uint8_t>* out)
{
    std::ifstream in(fs::u8path(path), std::ios::binary | std::ios::ate);
    if (!in) return false;
    out->resize(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(out->data()), static_cast<std::streamsize>(out->size())));
}

}  // namespace

const std::uint32_t kPackDictionary = 4u << 20;

std::uint32_t DictionaryFor(std::size_t bytes)
{
    std::uint32_t dictionary = 4096;
    while (dictionary < bytes && dictionary < kPackDictionary) dictionary *= 2;
    return dictionary;
}

bool CompressLzma(const std::string& plain, std::uint32_t dictionary, std::string* packed, std::string* error)
{
    // The literal coder's settings travel in the stream: each is tried and the smallest kept
    // (no position bits suit differences of code; text likes literal context).
    const std::uint32_t settings[][2] = {{3, 0}, {0, 0}, {3, 2}};  // lc, pb
    packed->clear();
    std::string trial(plain.size() + plain.size() / 16 + 4096, '\0');
    for (const auto& setting : settings) {
        lzma_options_lzma options;
        lzma_lzma_preset(&options, 9 | LZMA_PRESET_EXTREME);
        options.dict_size = dictionary;
        options.lc = setting[0];
        options.lp = 0;
        options.pb = setting[1];
        const lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        size_t n = 0;
        const lzma_ret r = lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const std::uint8_t*>(plain.data()),
                                                  plain.size(), reinterpret_cast<std::uint8_t*>(&trial[0]), &n,
                                                  trial.size());
        if (r != LZMA_OK) {
            *error = "lzma: error " + std::to_string(static_cast<int>(r));
            return false;
        }
        if (packed->empty() || n < packed->size()) packed->assign(trial.data(), n);
    }
    return true;
}

bool WriteDiffDelta(const std::string& oldPath, const std::string& newPath, const std::string& outPath, bool x86,
                    std::uint64_t* deltaSize, std::string* error, bool stored)
{
    std::vector<std::uint8_t> oldBytes, newBytes;
    if (!ReadWhole(oldPath, &oldBytes) || !ReadWhole(newPath, &newBytes)) {
        *error = "cannot read " + oldPath + " or " + newPath;
        return false;
    }
    if (oldBytes.size() > kMaxDiffOld || newBytes.size() > kMaxDiffOld) {
        *error = "larger than a difference delta takes";
        return false;
    }
    if (x86) {
        CX86Filter(0).Encode(oldBytes.data(), oldBytes.size());
        CX86Filter(0).Encode(newBytes.data(), newBytes.size());
    }
    const Index oldSize = static_cast<Index>(oldBytes.size()), newSize = static_cast<Index>(newBytes.size());
    CDeltaStreams streams;
    DiffStreams(oldBytes.data(), oldSize, newBytes.data(), newSize, &streams);
    const std::string& control = streams.control;
    const std::string& diff = streams.diff;
    const std::string& extra = streams.extra;
    SDiffHeader h;
    h.resultSize = static_cast<std::uint64_t>(newSize);
    h.oldSize = static_cast<std::uint64_t>(oldSize);
    h.flags = (x86 ? kDiffX86 : 0) | (stored ? kDiffStored : 0);
    // The dictionary need not be larger than the largest stream.
    h.dictionary = stored ? 4096 : DictionaryFor(std::max(control.size(), std::max(diff.size(), extra.size())));
    std::string packed[3];
    for (int k = 0; k < 3; ++k) {
        const std::string& plain = k == 0 ? control : k == 1 ? diff : extra;
        if (stored)
            packed[k] = plain;
        else if (!CompressLzma(plain, h.dictionary, &packed[k], error))
            return false;
        h.streamBytes[k] = packed[k].size();
    }
    unsigned char head[kDiffHeaderBytes];
    EncodeDiffHeader(h, head);
    std::ofstream out(fs::u8path(outPath), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(head), sizeof head);
    for (const std::string& p : packed) out.write(p.data(), static_cast<std::streamsize>(p.size()));
    out.close();
    if (!out) {
        *error = "cannot write " + outPath;
        return false;
    }
    *deltaSize = sizeof head + packed[0].size() + packed[1].size() + packed[2].size();
    return true;
}
