#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Small AVI files built byte by byte for the AVI file layer's tests: any
// streams, any chunks, and the index in the form a test wants (AVI 1.0 with
// offsets relative to movi or to the file start, OpenDML standard indexes, or
// none). Sizes are tiny, so OpenDML files are made without a gigabyte.
namespace trelvan::test {

struct AviTestStream {
    std::string type = "vids";  // "vids", "auds", "txts"
    std::string handler;        // four characters or empty
    uint16_t priority = 0;
    uint32_t scale = 1, rate = 25, start = 0, sampleSize = 0;
    uint32_t headerLength = 0;  // dwLength as stored (the layer recounts)
    std::vector<uint8_t> format;
    std::string name;
    uint32_t superRepeat = 1;  // OpenDml: super index entries, all naming the one ix##
};

struct AviTestChunk {
    int stream = 0;
    std::vector<uint8_t> data;
    bool key = true;
};

enum class AviTestIndex { Idx1Relative, Idx1Absolute, OpenDml, None };

std::vector<uint8_t> BuildTestAvi(const std::vector<AviTestStream>& streams,
                                  const std::vector<AviTestChunk>& chunks, AviTestIndex index);

// A 40-byte picture header (with an optional tail).
std::vector<uint8_t> TestBitmapFormat(int32_t width, int32_t height, uint16_t bits,
                                      const std::string& compression,
                                      const std::vector<uint8_t>& tail = {});
// A WAVEFORMATEX of 18 bytes plus `extra` (cbSize = extra.size() unless
// cb_size is given).
std::vector<uint8_t> TestWaveFormat(uint16_t tag, uint16_t channels, uint32_t rate,
                                    uint16_t block_align, uint16_t bits,
                                    const std::vector<uint8_t>& extra = {}, int cb_size = -1);
// Patterned bytes: n bytes starting at `seed`.
std::vector<uint8_t> Pattern(size_t n, uint8_t seed);

// CRC-32 of bytes as ffprobe's -show_data_hash CRC32 prints it (hex).
std::string Crc32Hex(const uint8_t* data, size_t n);

// The offset of the first occurrence of a four-character code at or after
// `from`, or SIZE_MAX.
size_t FindFourCC(const std::vector<uint8_t>& bytes, const char* fourcc, size_t from = 0);

}  // namespace trelvan::test
