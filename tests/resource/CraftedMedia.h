#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "AviTestFile.h"

// Pieces for crafting damaged or hostile AVI and WAV files byte by byte:
// field patches, chunk and list makers, and small valid files to start from.
namespace trelvan::test {

using Bytes = std::vector<uint8_t>;

// Little-endian fields written in place, or appended.
void Put32(Bytes& b, size_t at, uint32_t v);
void Put16(Bytes& b, size_t at, uint16_t v);
void Append32(Bytes& b, uint32_t v);
void Append64(Bytes& b, uint64_t v);
void AppendId(Bytes& b, const char* id);
// A chunk with its pad byte.
void AppendChunk(Bytes& b, const char* id, const Bytes& data);

// The position of the n-th occurrence (from 0) of a four-character code
// (a test failure and 0 when there is none); DataOf: of that chunk's data.
size_t FindId(const Bytes& b, const char* id, int nth = 0);
size_t DataOf(const Bytes& b, const char* id, int nth = 0);
// The chunk (header, payload and pad byte) of the n-th occurrence of `id`.
Bytes ChunkBytes(const Bytes& b, const char* id, int nth = 0);

// A 16x16 picture of 24 bits per pixel, as stored uncompressed (or with
// the given compression code).
AviTestStream VideoStream(const std::string& compression = "");
// 16-bit stereo PCM at 8000 Hz (or the given format tag), samples of 4 bytes.
AviTestStream AudioStream(uint16_t tag = 1, std::vector<uint8_t> extra = {});
// Ten frames, each followed by its audio (a 25th of a second).
std::vector<AviTestChunk> Interleaved(size_t frame_bytes = 768);
// `n` empty video chunks, every 50th a key frame.
std::vector<AviTestChunk> TinyChunks(size_t n);
// A valid AVI file of VideoStream, AudioStream and Interleaved.
Bytes BaseAvi(AviTestIndex index = AviTestIndex::Idx1Relative);

// Offsets of stream header fields within the strh data.
constexpr size_t kStrhInitialFrames = 16, kStrhScale = 20, kStrhRate = 24, kStrhStart = 28,
                 kStrhLength = 32, kStrhBuffer = 36, kStrhSampleSize = 44;
// Patches a field of the n-th stream header (0: video, 1: audio in BaseAvi).
void PatchStrh(Bytes& b, int nth, size_t field, uint32_t value);

// `n` header pieces of 20 bytes: a LIST of size 0 (which reaches to the end
// of its parent) of type `type`, whose type then reads as a chunk of 4 bytes
// leading to the next piece. A list walk that takes such a list at its word
// sees every later piece, and the chunks after them, once per list.
Bytes ListsOfSizeZero(const char* type, int n);
// `b` with its header list replaced by `hdrl` (the list's bytes after its
// type); the RIFF size follows.
Bytes WithHeaderList(Bytes b, const Bytes& hdrl);

// A WAV file: a fmt chunk of the given bytes, then `data`.
Bytes Wav(const Bytes& fmt, const Bytes& data, const char* riff = "RIFF");
// The format of AudioStream.
Bytes PcmFormat();
// A valid WAV file of a quarter second of PcmFormat.
Bytes BaseWav();
// Bytes that look like MPEG audio frames (sync words, a layer III header of
// 128 kbit/s at 44.1 kHz) with patterned payload.
Bytes MpegLikeData(size_t frames);
// An AC-3 sync word every 768 bytes.
Bytes Ac3LikeData(size_t frames);

}  // namespace trelvan::test
