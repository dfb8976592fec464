#pragma once

#include <cstddef>
#include <cstdint>

#include "ByteOrder.h"

// The audio format record of RIFF files: 18 bytes on disk, little-endian,
// followed by `cbSize` bytes that belong to the format tag (the "tail").
// Kept as plain fields; ReadWaveFormat/WriteWaveFormat move it to and from
// bytes one field at a time.
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};

namespace trelvan {

inline constexpr uint16_t kWaveFormatPcm = 0x0001;
inline constexpr uint16_t kWaveFormatAdpcm = 0x0002;
inline constexpr uint16_t kWaveFormatIeeeFloat = 0x0003;
inline constexpr uint16_t kWaveFormatAlaw = 0x0006;
inline constexpr uint16_t kWaveFormatMulaw = 0x0007;
inline constexpr uint16_t kWaveFormatImaAdpcm = 0x0011;
inline constexpr uint16_t kWaveFormatYamahaAdpcm = 0x0020;
inline constexpr uint16_t kWaveFormatGsm610 = 0x0031;
inline constexpr uint16_t kWaveFormatG726 = 0x0045;
inline constexpr uint16_t kWaveFormatMpeg = 0x0050;
inline constexpr uint16_t kWaveFormatMpegLayer3 = 0x0055;
inline constexpr uint16_t kWaveFormatG726Adpcm = 0x0064;
inline constexpr uint16_t kWaveFormatAac = 0x00FF;
inline constexpr uint16_t kWaveFormatHeAac = 0x1610;
inline constexpr uint16_t kWaveFormatAc3 = 0x2000;
inline constexpr uint16_t kWaveFormatDts = 0x2001;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

// Size of the record on disk with its extra-bytes count, and without it (the
// 16-byte form that PCM format chunks use).
inline constexpr size_t kWaveFormatExSize = 18;
inline constexpr size_t kPcmWaveFormatSize = 16;

// Reads the record from `n` bytes. With 16 or 17 bytes the extra-bytes count
// is taken as 0; with fewer than 16 nothing is read and false is returned.
inline bool ReadWaveFormat(const uint8_t* p, size_t n, WAVEFORMATEX* out) {
    if (p == nullptr || n < kPcmWaveFormatSize) {
        return false;
    }
    out->wFormatTag = bytes::GetLE16(p);
    out->nChannels = bytes::GetLE16(p + 2);
    out->nSamplesPerSec = bytes::GetLE32(p + 4);
    out->nAvgBytesPerSec = bytes::GetLE32(p + 8);
    out->nBlockAlign = bytes::GetLE16(p + 12);
    out->wBitsPerSample = bytes::GetLE16(p + 14);
    out->cbSize = n >= kWaveFormatExSize ? bytes::GetLE16(p + 16) : 0;
    return true;
}

// Writes the 18 bytes of the record.
inline void WriteWaveFormat(const WAVEFORMATEX& f, uint8_t* p) {
    bytes::PutLE16(p, f.wFormatTag);
    bytes::PutLE16(p + 2, f.nChannels);
    bytes::PutLE32(p + 4, f.nSamplesPerSec);
    bytes::PutLE32(p + 8, f.nAvgBytesPerSec);
    bytes::PutLE16(p + 12, f.nBlockAlign);
    bytes::PutLE16(p + 14, f.wBitsPerSample);
    bytes::PutLE16(p + 16, f.cbSize);
}

inline bool SameWaveFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels &&
           a.nSamplesPerSec == b.nSamplesPerSec && a.nAvgBytesPerSec == b.nAvgBytesPerSec &&
           a.nBlockAlign == b.nBlockAlign && a.wBitsPerSample == b.wBitsPerSample &&
           a.cbSize == b.cbSize;
}

}  // namespace trelvan
