#pragma once

#include <cstdint>
#include <vector>

// A small movie built byte by byte (one video track of three 10-byte
// samples in one chunk, by default), with one knob per field that damaged or hostile
// files get wrong. The reader's corrupt-file tests and the heap-use test
// both build from it.
namespace trelvan::mov::test {

// What a variant changes; the defaults make a sound movie.
struct Damage {
    uint32_t movieScale = 600;
    uint32_t mediaScale = 600;
    bool mvhd = true;
    bool cmov = false;
    uint32_t drefFlags = 1;
    uint32_t stszCount = 3;
    uint32_t stszUniform = 0;  // 0: a size table of stszCount entries
    uint32_t stcoCount = 1;
    uint32_t chunkOffset = 0;  // 0: the media data's start
    uint32_t stscDesc = 1;
    uint32_t stscPerChunk = 3;
    uint32_t sttsCount = 1;
    uint32_t stsdCount = 1;
    uint32_t elstCount = 0;  // 0: no edit list
    bool fragment = false;
    uint32_t trunCount = 2;
    // Fragments whose runs list no sizes: the track fragment header states
    // this size and a duration of 1 for every sample (0: the runs list
    // sizes).
    uint32_t fragmentSize = 0;
    // That many tracks alike (ids 1, 2, ...), each with a fragment when
    // `fragment`, over media data of `mediaBytes` bytes.
    uint32_t tracks = 1;
    uint32_t mediaBytes = 30;
    // Sound of a version 2 description (16-bit mono PCM at 96 kHz, one
    // table sample per frame) in place of the video.
    bool pcm96k = false;
};

std::vector<uint8_t> BuildMovie(const Damage& d);

}  // namespace trelvan::mov::test
