#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "BitmapInfoHeader.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// What the frame decoders (AVI and ASF video) share: a libavcodec decoder
// opened from a picture format (a BITMAPINFOHEADER and the codec's bytes
// after it), and the packed picture its frames are turned into: a 40-byte
// BITMAPINFOHEADER followed by 24-bit bottom-up rows, each padded to 4
// bytes.
namespace trelvan {

// Pictures larger than this many pixels are not believed (a bogus header
// must not make us allocate gigabytes).
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 26;

// Bytes of one row of a 24-bit picture `width` pixels wide.
size_t RowBytes24(int32_t width);

// Sizes `picture` for width x height and writes its header; rows are zero.
void SetPackedPictureHeader(int32_t width, int32_t height, std::vector<uint8_t>* picture);

struct PictureCodec {
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;

    PictureCodec() = default;
    ~PictureCodec();
    PictureCodec(const PictureCodec&) = delete;
    PictureCodec& operator=(const PictureCodec&) = delete;

    // The decoder named by the format's compression code, else by `handler`
    // (0: none), with `extra` as its extra data. Null when the size is not
    // believable, no decoder is known, or the FFmpeg libraries are missing.
    static std::unique_ptr<PictureCodec> Open(const BITMAPINFOHEADER& bih, uint32_t handler,
                                              const uint8_t* extra, size_t extra_bytes);

    // Converts the decoded `frame` into *picture; false (picture left as it
    // was) when the frame is empty, too large or cannot be converted.
    bool ToPicture(const AVFrame* f, std::vector<uint8_t>* picture);

    // Decoding a run of samples from its first (a key frame) on. Restart
    // forgets what the decoder holds. Feed sends sample `index` of the run
    // (the number is its time stamp, which the decoder hands on through
    // reordering) and converts the frame of sample `wanted` into *picture
    // when it comes out; it is false when the decoder refuses the sample for
    // another reason than damage (a damaged sample is passed over). Drain
    // lets the frames the decoder holds back out.
    void Restart();
    bool Feed(const uint8_t* data, size_t size, bool key, int64_t index, int64_t wanted,
              std::vector<uint8_t>* picture);
    void Drain(int64_t wanted, std::vector<uint8_t>* picture);

  private:
    // Takes the decoder's frames while it has some.
    void ReceiveAll(int64_t wanted, std::vector<uint8_t>* picture);

    std::vector<uint8_t> padded_;  // a sample's bytes with the decoder's padding
};

}  // namespace trelvan
