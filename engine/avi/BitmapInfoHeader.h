#pragma once

#include <cstddef>
#include <cstdint>

#include "ByteOrder.h"

// The picture header of AVI video formats and of decoded pictures: 40 bytes
// on disk, little-endian. Kept as plain fields; ReadBitmapInfoHeader and
// WriteBitmapInfoHeader move it to and from bytes one field at a time.
struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;  // > 0: bottom-up rows; < 0: top-down
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;  // 0 uncompressed, 1 RLE8, 2 RLE4, 3 bit fields, else a fourcc
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

namespace trelvan {

inline constexpr size_t kBitmapInfoHeaderSize = 40;
inline constexpr uint32_t kBiRgb = 0;
inline constexpr uint32_t kBiBitFields = 3;

// Reads the header from n bytes; missing bytes read as zero. False when
// fewer than 16 bytes (up to the compression field) are there.
inline bool ReadBitmapInfoHeader(const uint8_t* p, size_t n, BITMAPINFOHEADER* out) {
    uint8_t h[kBitmapInfoHeaderSize] = {};
    if (p == nullptr || n < 20) {
        *out = BITMAPINFOHEADER{};
        return false;
    }
    for (size_t i = 0; i < kBitmapInfoHeaderSize && i < n; ++i) {
        h[i] = p[i];
    }
    out->biSize = bytes::GetLE32(h);
    out->biWidth = static_cast<int32_t>(bytes::GetLE32(h + 4));
    out->biHeight = static_cast<int32_t>(bytes::GetLE32(h + 8));
    out->biPlanes = bytes::GetLE16(h + 12);
    out->biBitCount = bytes::GetLE16(h + 14);
    out->biCompression = bytes::GetLE32(h + 16);
    out->biSizeImage = bytes::GetLE32(h + 20);
    out->biXPelsPerMeter = static_cast<int32_t>(bytes::GetLE32(h + 24));
    out->biYPelsPerMeter = static_cast<int32_t>(bytes::GetLE32(h + 28));
    out->biClrUsed = bytes::GetLE32(h + 32);
    out->biClrImportant = bytes::GetLE32(h + 36);
    return true;
}

inline void WriteBitmapInfoHeader(const BITMAPINFOHEADER& h, uint8_t* p) {
    bytes::PutLE32(p, h.biSize);
    bytes::PutLE32(p + 4, static_cast<uint32_t>(h.biWidth));
    bytes::PutLE32(p + 8, static_cast<uint32_t>(h.biHeight));
    bytes::PutLE16(p + 12, h.biPlanes);
    bytes::PutLE16(p + 14, h.biBitCount);
    bytes::PutLE32(p + 16, h.biCompression);
    bytes::PutLE32(p + 20, h.biSizeImage);
    bytes::PutLE32(p + 24, static_cast<uint32_t>(h.biXPelsPerMeter));
    bytes::PutLE32(p + 28, static_cast<uint32_t>(h.biYPelsPerMeter));
    bytes::PutLE32(p + 32, h.biClrUsed);
    bytes::PutLE32(p + 36, h.biClrImportant);
}

}  // namespace trelvan
