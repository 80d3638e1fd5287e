#include "ScaledImage.h"

#include <algorithm>
#include <cstring>

#include "Dib.h"
#include "DpiScale.h"
#include "Picture.h"

namespace UI {

namespace {

struct SWeights {
    int first, second;  // source indices
    float t;            // share of the second
};

// Where each output column (or row) samples its source: pixel centres
// mapped onto each other, edges clamped.
std::vector<SWeights> Taps(int from, int to)
{
    std::vector<SWeights> taps(static_cast<size_t>(to));
    for (int i = 0; i < to; ++i) {
        const float at = std::max(0.0f, (i + 0.5f) * from / to - 0.5f);
        const int first = std::min(static_cast<int>(at), from - 1);
        taps[static_cast<size_t>(i)] = {first, std::min(first + 1, from - 1), at - first};
    }
    return taps;
}

}  // namespace

std::vector<std::uint32_t> ResampleFrames(const std::vector<std::uint32_t>& pixels, int width, int height,
                                          int frames, int outFrameWidth, int outHeight, bool keyed,
                                          std::uint32_t key)
{
    const int frameWidth = frames > 0 ? width / frames : 0;
    std::vector<std::uint32_t> out(static_cast<size_t>(std::max(0, frames * outFrameWidth)) *
                                   static_cast<size_t>(std::max(0, outHeight)));
    if (frameWidth <= 0 || height <= 0 || outFrameWidth <= 0 || outHeight <= 0) return out;
    const std::vector<SWeights> xs = Taps(frameWidth, outFrameWidth), ys = Taps(height, outHeight);
    const int outWidth = frames * outFrameWidth;
    key &= 0xFFFFFF;
    // Premultiplied channels: a key pixel adds nothing but transparency.
    auto channels = [&](int x, int y, float weight, float sum[4]) {
        const std::uint32_t p = pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF;
        if (keyed && p == key) return;
        sum[0] += weight * ((p >> 16) & 0xFF);
        sum[1] += weight * ((p >> 8) & 0xFF);
        sum[2] += weight * (p & 0xFF);
        sum[3] += weight;
    };
    for (int f = 0; f < frames; ++f) {
        const int base = f * frameWidth;
        for (int oy = 0; oy < outHeight; ++oy) {
            const SWeights& wy = ys[static_cast<size_t>(oy)];
            for (int ox = 0; ox < outFrameWidth; ++ox) {
                const SWeights& wx = xs[static_cast<size_t>(ox)];
                float sum[4] = {0, 0, 0, 0};
                channels(base + wx.first, wy.first, (1 - wx.t) * (1 - wy.t), sum);
                channels(base + wx.second, wy.first, wx.t * (1 - wy.t), sum);
                channels(base + wx.first, wy.second, (1 - wx.t) * wy.t, sum);
                channels(base + wx.second, wy.second, wx.t * wy.t, sum);
                std::uint32_t value = key;
                if (sum[3] >= 0.5f) {
                    auto channel = [&](int c) {
                        return static_cast<std::uint32_t>(std::min(255.0f, sum[c] / sum[3] + 0.5f));
                    };
                    value = channel(0) << 16 | channel(1) << 8 | channel(2);
                    // A colour that comes out as the key would turn transparent.
                    if (keyed && value == key) value ^= 1;
                }
                out[static_cast<size_t>(oy) * outWidth + f * outFrameWidth + ox] = value;
            }
        }
    }
    return out;
}

void CScaledImage::Reset()
{
    m_hBitmap.Reset();
    m_nWidth = m_nHeight = m_nFrameWidth = 0;
}

bool CScaledImage::Assign(HBITMAP source, int num, int den, int frames, COLORREF key)
{
    Reset();
    BITMAP bm;
    if (source == nullptr || frames <= 0 || num <= 0 || den <= 0 || GetObjectW(source, sizeof bm, &bm) == 0 ||
        bm.bmWidth < frames || bm.bmHeight <= 0)
        return false;
    const int width = bm.bmWidth, height = bm.bmHeight;
    BITMAPINFO info = TopDownDib32(width, height);
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    CMemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dc || GetDIBits(dc.Get(), source, 0, height, pixels.data(), &info, DIB_RGB_COLORS) != height) return false;

    const int frameWidth = width / frames;
    const int outFrameWidth = std::max(1, MulDiv(frameWidth, num, den)), outHeight = std::max(1, MulDiv(height, num, den));
    // A key as the bitmap stores it, 0x00RRGGBB.
    const std::uint32_t rgbKey = key == CLR_INVALID ? 0 : (GetRValue(key) << 16 | GetGValue(key) << 8 | GetBValue(key));
    const std::vector<std::uint32_t> out =
        num == den && width % frames == 0
            ? pixels
            : ResampleFrames(pixels, width, height, frames, outFrameWidth, outHeight, key != CLR_INVALID, rgbKey);
    const int outWidth = frames * outFrameWidth;
    BITMAPINFO outInfo = TopDownDib32(outWidth, outHeight);
    void* bits = nullptr;
    CGdiBitmap bitmap(CreateDIBSection(dc.Get(), &outInfo, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) return false;
    std::memcpy(bits, out.data(), out.size() * sizeof out[0]);
    GdiFlush();
    m_hBitmap = std::move(bitmap);
    m_nWidth = outWidth;
    m_nHeight = outHeight;
    m_nFrameWidth = outFrameWidth;
    return true;
}

namespace {

// A 32-bit section of width by height, drawn by paint: the key keeps its
// exact value whatever the screen's depth.
template <class Paint>
HBITMAP Render32(int width, int height, Paint paint)
{
    if (width <= 0 || height <= 0) return nullptr;
    CMemoryDc dc(CreateCompatibleDC(nullptr));
    BITMAPINFO info = TopDownDib32(width, height);
    void* bits = nullptr;
    CGdiBitmap bitmap(dc ? CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr);
    if (!bitmap) return nullptr;
    CSelection select(dc.Get(), bitmap.Get());
    return paint(dc.Get()) ? bitmap.Release() : nullptr;
}

}  // namespace

bool CScaledImage::LoadPicture(const std::wstring& path, int dpi, int frames, COLORREF key)
{
    Reset();
    int made = BASE_DPI;
    CPicture picture;
    if (!picture.Load(SkinVariant(path, dpi, &made))) return false;
    CGdiBitmap bitmap(Render32(picture.Width(), picture.Height(), [&](HDC dc) {
        const RECT all = {0, 0, picture.Width(), picture.Height()};
        return picture.Render(dc, all);
    }));
    return Assign(bitmap.Get(), dpi, made, frames, key);
}

bool CScaledImage::LoadDib(const std::wstring& path, int dpi)
{
    Reset();
    int made = BASE_DPI;
    CDib dib;
    if (!dib.Load(SkinVariant(path, dpi, &made))) return false;
    CGdiBitmap bitmap(Render32(dib.Width(), dib.Height(), [&](HDC dc) {
        dib.Draw(dc, 0, 0, dib.Width(), dib.Height(), 0, 0, dib.Width(), dib.Height());
        return true;
    }));
    return Assign(bitmap.Get(), dpi, made);
}

void CScaledImage::Draw(HDC hDC, int x, int y, int srcX, int srcY, int width, int height) const
{
    if (!m_hBitmap || hDC == nullptr) return;
    CMemoryDc source(CreateCompatibleDC(hDC));
    if (!source) return;
    CSelection select(source.Get(), m_hBitmap.Get());
    BitBlt(hDC, x, y, width, height, source.Get(), srcX, srcY, SRCCOPY);
}

}  // namespace UI
