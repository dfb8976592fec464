#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AsfReader.h"
#include "IoFile.h"

namespace trelvan {

struct PictureCodec;

// Turns compressed video samples of an ASF stream into pictures through
// libavcodec and libswscale: the codec named by the compression code of the
// stream's BITMAPINFOHEADER, the bytes after that header as the codec's
// extra data. Pictures are packed as the AVI frame decoder packs them: a
// 40-byte BITMAPINFOHEADER followed by 24-bit bottom-up rows (each padded
// to 4 bytes).
class WmvFrameDecoder {
  public:
    // Null when the stream is no video stream, its format is short or
    // unbelievable, the codec is unknown or the FFmpeg libraries are missing.
    static std::unique_ptr<WmvFrameDecoder> Open(const asf::StreamInfo& stream);
    ~WmvFrameDecoder();
    WmvFrameDecoder(const WmvFrameDecoder&) = delete;
    WmvFrameDecoder& operator=(const WmvFrameDecoder&) = delete;

    // Decodes `run` from its first sample (a key frame) on, starting afresh,
    // and gives the picture of run[wanted]; empty when it cannot be decoded.
    std::vector<uint8_t> Decode(const std::vector<asf::AsfSample>& run, size_t wanted);

  private:
    WmvFrameDecoder();

    std::unique_ptr<PictureCodec> m_codec;
};

// The first video key frame and the last video frame an extract of a range
// writes, with their pictures.
struct WmvRangePictures {
    bool hasVideo = false;
    // Times in the source (100 ns); -1: no such frame in the range.
    int64_t firstKeyTime = -1;
    int64_t lastTime = -1;
    // Packed pictures; empty when the frame could not be decoded.
    std::vector<uint8_t> firstKey;
    std::vector<uint8_t> last;
};

// Reads the source as the extract reads it (in file order, samples before
// `start` left out, up to the first sample of any stream past `end`; an end
// of 0 is the time 0) and decodes the two frames of its first video stream.
// The last frame is decoded from the key frame before it, which may lie
// before the range. 0, 8201 (the source cannot be opened as ASF) or 8203
// (it stops being readable); a picture that cannot be made is no error.
int32_t DecodeWmvRangePictures(const std::string& path, uint64_t start, uint64_t end,
                               WmvRangePictures* out, const FileOpener& opener = DiskFileOpener());

}  // namespace trelvan
