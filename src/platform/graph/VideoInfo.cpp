#include "platform/graph/VideoInfo.h"

#include "asf/ByteReader.h"
#include "asf/ByteWriter.h"

#include <cstdlib>
#include <numeric>

namespace kestrine::platform {
namespace {

constexpr std::size_t kRectanglesAndRates = 40;  // source and target rectangles, bit rate, error rate
constexpr std::uint32_t kBitmapHeaderSize = 40;

struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
};

Rect ReadRect(asf::ByteReader& r)
{
    Rect x;
    x.left = static_cast<std::int32_t>(r.U32());
    x.top = static_cast<std::int32_t>(r.U32());
    x.right = static_cast<std::int32_t>(r.U32());
    x.bottom = static_cast<std::int32_t>(r.U32());
    return x;
}

bool InRange(std::int64_t v) { return v > 0 && v <= VideoInfo::kMaxSide; }

constexpr std::int64_t kMaxAspect = 1 << 20;

// Reads the bitmap header and what follows; the picture is the whole bitmap unless `source` names a
// smaller one at its top left.
std::optional<VideoInfo> ReadBitmapInfo(asf::ByteReader& r, const Rect& source, REFERENCE_TIME frameTime)
{
    VideoInfo v;
    v.frameTime = frameTime;
    r.U32();  // biSize: files disagree on whether it counts the codec's bytes, which follow the fixed 40 anyway
    const auto biWidth = static_cast<std::int32_t>(r.U32());
    const auto biHeight = static_cast<std::int32_t>(r.U32());
    v.planes = r.U16();
    v.bitCount = r.U16();
    v.compression = r.U32();
    v.sizeImage = r.U32();
    v.xPelsPerMeter = static_cast<std::int32_t>(r.U32());
    v.yPelsPerMeter = static_cast<std::int32_t>(r.U32());
    v.colorsUsed = r.U32();
    v.colorsImportant = r.U32();
    const auto rest = r.Bytes(r.Remaining());
    v.codecData.assign(rest.begin(), rest.end());

    const std::int64_t height = std::abs(static_cast<std::int64_t>(biHeight));
    if (!InRange(biWidth) || !InRange(height)) return std::nullopt;
    v.rowPixels = biWidth;
    v.topDown = biHeight < 0;
    v.width = biWidth;
    v.height = static_cast<int>(height);
    if (!source.Empty() && source.left == 0 && source.top == 0) {
        if (source.right > biWidth || source.bottom > height) return std::nullopt;
        v.width = source.right;
        v.height = source.bottom;
    }
    return v;
}

}  // namespace

std::optional<VideoInfo> VideoInfo::Parse(const AM_MEDIA_TYPE& type)
{
    const bool second = type.formattype == FORMAT_VideoInfo2;
    if (type.formattype != FORMAT_VideoInfo && !second) return std::nullopt;
    try {
        asf::ByteReader r(type.format, second ? "VIDEOINFOHEADER2" : "VIDEOINFOHEADER");
        const Rect source = ReadRect(r);
        r.Skip(kRectanglesAndRates - 16);
        const auto frameTime = static_cast<REFERENCE_TIME>(r.U64());
        std::uint32_t aspectX = 0;
        std::uint32_t aspectY = 0;
        if (second) {
            r.Skip(8);  // interlace and copy protection flags
            aspectX = r.U32();
            aspectY = r.U32();
            r.Skip(8);  // control flags, reserved
        }
        std::optional<VideoInfo> v = ReadBitmapInfo(r, source, frameTime);
        if (v && aspectX > 0 && aspectY > 0 && aspectX <= kMaxAspect && aspectY <= kMaxAspect) {
            v->aspectX = static_cast<int>(aspectX);
            v->aspectY = static_cast<int>(aspectY);
        }
        return v;
    } catch (const asf::FormatError&) {
        return std::nullopt;
    }
}

void VideoInfo::SetPixelAspect(std::int64_t pixelX, std::int64_t pixelY)
{
    aspectX = aspectY = 0;
    if (pixelX <= 0 || pixelY <= 0 || pixelX == pixelY || width <= 0 || height <= 0) return;
    std::int64_t x = pixelX * width;
    std::int64_t y = pixelY * height;
    const std::int64_t g = std::gcd(x, y);
    x /= g;
    y /= g;
    while (x > kMaxAspect || y > kMaxAspect) {  // keeps the shape within what the block can hold
        x = (x + 1) / 2;
        y = (y + 1) / 2;
    }
    aspectX = static_cast<int>(x);
    aspectY = static_cast<int>(y);
}

GUID VideoInfo::FormatType() const { return aspectX > 0 && aspectY > 0 ? FORMAT_VideoInfo2 : FORMAT_VideoInfo; }

std::optional<VideoInfo> VideoInfo::FromBitmapInfo(std::span<const BYTE> bitmapInfo, REFERENCE_TIME frameTime)
{
    try {
        asf::ByteReader r(bitmapInfo, "BITMAPINFOHEADER");
        return ReadBitmapInfo(r, Rect{}, frameTime);
    } catch (const asf::FormatError&) {
        return std::nullopt;
    }
}

std::vector<BYTE> VideoInfo::FormatBlock() const
{
    std::vector<BYTE> out;
    asf::ByteWriter w(out);
    for (int i = 0; i < 2; ++i) {  // source, then target: the picture at the top left
        w.U32(0);
        w.U32(0);
        w.U32(static_cast<std::uint32_t>(width));
        w.U32(static_cast<std::uint32_t>(height));
    }
    w.U32(0);
    w.U32(0);
    w.U64(static_cast<std::uint64_t>(frameTime));
    if (FormatType() == FORMAT_VideoInfo2) {
        w.U32(0);
        w.U32(0);
        w.U32(static_cast<std::uint32_t>(aspectX));
        w.U32(static_cast<std::uint32_t>(aspectY));
        w.U32(0);
        w.U32(0);
    }
    w.U32(kBitmapHeaderSize);
    w.U32(static_cast<std::uint32_t>(rowPixels));
    w.U32(static_cast<std::uint32_t>(topDown ? -height : height));
    w.U16(planes);
    w.U16(bitCount);
    w.U32(compression);
    w.U32(sizeImage);
    w.U32(static_cast<std::uint32_t>(xPelsPerMeter));
    w.U32(static_cast<std::uint32_t>(yPelsPerMeter));
    w.U32(colorsUsed);
    w.U32(colorsImportant);
    w.Bytes(codecData);
    return out;
}

}  // namespace kestrine::platform
