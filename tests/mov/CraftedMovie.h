#pragma once

#include <cstdint>
#include <vector>

// A small movie built byte by byte (one video track of three 10-byte
// samples in one chunk), with one knob per field that damaged or hostile
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
};

std::vector<uint8_t> BuildMovie(const Damage& d);

}  // namespace trelvan::mov::test
