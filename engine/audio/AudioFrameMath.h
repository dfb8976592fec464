#pragma once

#include <cstdint>
#include <span>

#include "WaveFormatEx.h"

// How the bytes of an audio format map to sample frames (samples per
// channel), worked out from the fields of its format record alone. The codec
// layer answers its size questions with it, so a compressed WAV file gets the
// right frame count in its fact chunk without decoding a byte.
namespace trelvan::audio {

struct FrameMath {
    enum class Kind {
        Linear,   // frames = bytes * frames_per_unit / bytes_per_unit (PCM, G.711, G.726)
        Blocks,   // fixed blocks of `bytes_per_unit` bytes holding `frames_per_unit` frames
        Bitrate,  // frames of `frames_per_unit` samples at an average byte rate (MPEG, AC-3)
    };
    Kind kind = Kind::Linear;
    uint32_t bytes_per_unit = 0;
    uint32_t frames_per_unit = 0;
    // Blocks: the format tag decides how a block's bytes count (ADPCM blocks
    // carry a header per channel; a short last block counts what it holds).
    uint16_t tag = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
    // Bitrate: bytes per second and sample rate.
    uint32_t avg_bytes = 0;
    uint32_t rate = 0;
    // False when the frame count is only an estimate (variable-rate formats).
    bool exact = true;
};

// Fills `out` for a format the layer knows; false for an unknown format tag
// and for records that make no sense (channels, rate or block alignment 0,
// fewer than 16 bytes, an extra-bytes count past the block, blocks too short
// to hold a frame).
bool DescribeFormat(std::span<const uint8_t> format, FrameMath* out);

// For a format the codec library knows but the table above does not: frames
// estimated from the average byte rate (`exact` false).
bool DescribeByAverageRate(std::span<const uint8_t> format, FrameMath* out);

// Sample frames held by `bytes` bytes of data.
uint64_t FramesInBytes(const FrameMath& m, uint64_t bytes);
// Bytes needed to hold `frames` sample frames (whole blocks or frames).
uint64_t BytesForFrames(const FrameMath& m, uint64_t frames);

}  // namespace trelvan::audio
