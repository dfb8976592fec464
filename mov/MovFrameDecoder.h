#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "MovieModel.h"

namespace trelvan {
struct PictureCodec;
}

// Turns stored samples of a movie's video track into pictures through
// libavcodec: the decoder named by the sample description's format (its
// four-character code as the movie files use it, or the AVI code of the same
// codec), the description's configuration atom ('avcC', 'hvcC', the decoder
// configuration inside 'esds', 'glbl') as the codec's extra data. Pictures
// are packed as the AVI frame decoder packs them: a 40-byte
// BITMAPINFOHEADER, then 24-bit bottom-up rows padded to 4 bytes.
namespace trelvan::mov {

class MovFrameDecoder {
public:
    // Null when the track is no video, its description is short, the codec
    // is unknown or the FFmpeg libraries are missing.
    static std::unique_ptr<MovFrameDecoder> Open(const Track& track);
    ~MovFrameDecoder();
    MovFrameDecoder(const MovFrameDecoder&) = delete;
    MovFrameDecoder& operator=(const MovFrameDecoder&) = delete;

    // Decodes the track's samples [0, wanted] (the first a sync sample) of
    // `movie` afresh and gives the picture of sample `wanted`; empty when it
    // cannot be decoded.
    std::vector<uint8_t> Decode(const Movie& movie, const Track& track, size_t wanted);

private:
    MovFrameDecoder();

    std::unique_ptr<PictureCodec> m_codec;
    std::vector<uint8_t> m_sample;  // the bytes of the sample being fed
};

}  // namespace trelvan::mov
