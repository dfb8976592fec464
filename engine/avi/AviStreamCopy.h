#pragma once

#include "AviFile.h"
#include "AviWriter.h"

namespace trelvan {

// The writer's stream header from a source stream's information record: the
// fields a stream header stores, the name included. Length and buffer size
// are left to the writer, which counts them.
inline AviWriterStreamInfo WriterStreamInfo(const AviStreamInfo& in) {
    AviWriterStreamInfo out;
    out.fccType = in.fccType;
    out.fccHandler = in.fccHandler;
    out.dwFlags = in.dwFlags;
    out.wPriority = in.wPriority;
    out.wLanguage = in.wLanguage;
    out.dwScale = in.dwScale;
    out.dwRate = in.dwRate;
    out.dwStart = in.dwStart;
    out.dwInitialFrames = in.dwInitialFrames;
    out.dwQuality = in.dwQuality;
    out.dwSampleSize = in.dwSampleSize;
    out.rcLeft = in.rcLeft;
    out.rcTop = in.rcTop;
    out.rcRight = in.rcRight;
    out.rcBottom = in.rcBottom;
    out.name = in.name;
    return out;
}

}  // namespace trelvan
