#pragma once
// VIDEOINFOHEADER (and VIDEOINFOHEADER2, which adds the picture's shape) as a value: the picture
// rectangle, the frame time, the shape and the bitmap header with the codec's bytes after it. Every
// filter reads and writes video format blocks through this, so the layout lives in one place and a
// short or lying block is refused instead of read past.
#include "platform/com/Types.h"
#include "platform/graph/MediaType.h"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace kestrine::platform {

struct VideoInfo {
    static constexpr int kMaxSide = 16384;

    int width = 0;        // columns shown (the source rectangle; the whole row when none is set)
    int height = 0;       // rows, positive whatever their order
    int rowPixels = 0;    // pixels per row in memory (biWidth), at least width
    bool topDown = false; // first row first (a negative biHeight)
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;  // fourcc; 0 for uncompressed RGB
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t colorsUsed = 0;
    std::uint32_t colorsImportant = 0;
    REFERENCE_TIME frameTime = 0;   // 100 ns units; 0 when unknown
    int aspectX = 0;                // the picture's shape where its pixels are not square; 0 otherwise
    int aspectY = 0;
    std::vector<BYTE> codecData;    // what follows the 40-byte bitmap header

    // Bytes from one row to the next of an uncompressed picture: rows are whole DWORDs.
    std::size_t Stride() const { return (static_cast<std::size_t>(rowPixels) * bitCount / 8 + 3) & ~std::size_t{3}; }
    std::size_t PictureBytes() const { return Stride() * static_cast<std::size_t>(height); }

    // The shape the picture is shown in: its stated aspect ratio, else its size in pixels.
    int DisplayAspectX() const { return aspectX > 0 && aspectY > 0 ? aspectX : width; }
    int DisplayAspectY() const { return aspectX > 0 && aspectY > 0 ? aspectY : height; }
    // Sets the shape from the width and height of one pixel (a sample aspect ratio); square pixels clear it.
    void SetPixelAspect(std::int64_t pixelX, std::int64_t pixelY);

    // Nothing when the type is not FORMAT_VideoInfo or FORMAT_VideoInfo2, the block is short, or a size is 0, negative
    // where it may not be, or beyond kMaxSide.
    static std::optional<VideoInfo> Parse(const AM_MEDIA_TYPE& type);
    // The same from a BITMAPINFOHEADER and the codec bytes after it, as files store them.
    static std::optional<VideoInfo> FromBitmapInfo(std::span<const BYTE> bitmapInfo, REFERENCE_TIME frameTime);
    // The format type and block that describe this: VIDEOINFOHEADER2 when the picture has a shape
    // of its own, else VIDEOINFOHEADER; bitmap header and codec bytes included.
    GUID FormatType() const;
    std::vector<BYTE> FormatBlock() const;
};

}  // namespace kestrine::platform
