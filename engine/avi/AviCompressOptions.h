#pragma once

#include <cstdint>
#include <vector>

// Compression options of a stream, as the save operation and the writers'
// compressing mode take them. No operation names a compressor: stored
// samples are copied as they are.
struct AVICOMPRESSOPTIONS {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;  // 0: no compressor named
    uint32_t dwKeyFrameEvery = 0;
    uint32_t dwQuality = 0;
    uint32_t dwBytesPerSecond = 0;
    uint32_t dwFlags = 0;
    std::vector<uint8_t> format;  // target format; audio: the stream's own format
    std::vector<uint8_t> parms;   // compressor state
    uint32_t dwInterleaveEvery = 0;
};

inline constexpr uint32_t AVICOMPRESSF_INTERLEAVE = 0x01;
inline constexpr uint32_t AVICOMPRESSF_DATARATE = 0x02;
inline constexpr uint32_t AVICOMPRESSF_KEYFRAMES = 0x04;
inline constexpr uint32_t AVICOMPRESSF_VALID = 0x08;
