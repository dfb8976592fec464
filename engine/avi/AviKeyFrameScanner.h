#pragma once

#include "AviFile.h"

namespace trelvan {

// Finds the key frames of a video stream from its bitstream, for files whose
// index is gone (a walk through the movi lists knows no key flags). Each
// chunk is one frame; libavcodec's parser for the stream's codec tells intra
// pictures apart. Streams of other codecs (uncompressed, motion JPEG) keep
// every frame as a key frame; empty chunks are never key frames. Only
// libavcodec is needed, so reading files stays free of the demuxer library.
class AviKeyFrameScanner {
  public:
    // Returns false (flags untouched) when the codec has no parser.
    static bool MarkKeyFrames(AviStream& stream);

    // Whether the video stream's codec stores every frame on its own
    // (uncompressed and DIB pictures, motion JPEG, PNG, HuffYUV, DV, ...),
    // so that any frame can start a cut. Some writers index such streams
    // without a single key flag.
    static bool IsIntraOnly(const AviStream& stream);
};

}  // namespace trelvan
