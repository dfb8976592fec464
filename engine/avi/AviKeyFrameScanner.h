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
};

}  // namespace trelvan
