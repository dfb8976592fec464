#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "AviFile.h"

namespace trelvan {

struct PictureCodec;

// Turns the frames of a video stream into uncompressed pictures: a packed
// picture of a 40-byte BITMAPINFOHEADER followed by 24-bit bottom-up rows
// (each padded to 4 bytes). Uncompressed frames are converted directly;
// compressed ones go through libavcodec, decoding from the key frames before
// the wanted one (continuing a run under way when the wanted frame lies
// ahead), then through libswscale. Frame n is the picture chunk n carries.
class AviFrameDecoder {
  public:
    // Null when the stream is no video stream or its compression is unknown.
    static std::unique_ptr<AviFrameDecoder> Open(AviStream& stream);
    ~AviFrameDecoder();
    AviFrameDecoder(const AviFrameDecoder&) = delete;
    AviFrameDecoder& operator=(const AviFrameDecoder&) = delete;

    // The packed picture of frame `pos`, valid until the next call; null when
    // the frame cannot be read or decoded.
    const uint8_t* GetFrame(int32_t pos);
    // Bytes of the packed picture (header + rows).
    size_t PictureBytes() const { return m_picture.size(); }

  private:
    explicit AviFrameDecoder(AviStream& stream);
    bool ConvertUncompressed(const uint8_t* data, size_t n);
    bool DecodeCompressed(int64_t target);
    bool SendChunk(int64_t chunk);
    bool ReceiveInto(int64_t wanted, bool* got_wanted);
    void SetPictureHeader();

    AviStream& m_stream;
    std::vector<uint8_t> m_picture;  // header + 24-bit bottom-up rows
    std::vector<uint8_t> m_chunk;
    int32_t m_width = 0, m_height = 0;
    bool m_uncompressed = false;
    int32_t m_lastPos = -1;     // frame the picture holds
    int64_t m_nextChunk = -1;   // next chunk to send to the decoder
    int64_t m_startChunk = -1;  // chunk decoding started from
    std::unique_ptr<PictureCodec> m_codec;
    bool m_flushed = false;   // the decoder was told the stream ended
};

}  // namespace trelvan
