#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Frame boundaries of audio formats whose data is a chain of frames that
// announce their own length (MPEG audio layers 1 to 3, AC-3 and E-AC-3).
// Where such audio is stored as a plain byte stream (an AVI stream whose
// samples are bytes), a cut at a byte position must be moved to a frame
// boundary, or the piece cut off starts or ends with a broken frame.
namespace trelvan::audio {

// Whether data of this format tag is framed that way.
bool HasFrameHeaders(uint16_t tag);

// Length in bytes of the frame whose header starts at `h` (`n` bytes
// available; 8 are enough), for a stream of `tag` at `sample_rate` (0: any
// rate); 0 when no frame of that stream starts there.
uint32_t FrameLengthAt(uint16_t tag, uint32_t sample_rate, const uint8_t* h, size_t n);

// Reads n bytes of the stream at a byte offset; false when they are not all
// there.
using StreamBytesReader = std::function<bool(uint64_t offset, uint8_t* buf, size_t n)>;

// The first frame boundary at or after byte `pos` of a stream of `total`
// bytes: the position of a frame header that is followed by two more frames
// in a row (or by the end of the stream), so that bytes inside a frame that
// happen to look like a header are passed over. `total` when `pos` is at or
// past the end; `pos` itself when no frame starts within the 64 KiB after
// it (the data is not framed as the format says) or the bytes cannot be read.
uint64_t NextFrameBoundary(uint16_t tag, uint32_t sample_rate, const StreamBytesReader& read,
                           uint64_t total, uint64_t pos);

}  // namespace trelvan::audio
