#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "AviSaveRun.h"
#include "OpContext.h"

// AVI separate: the video stream of an AVI file alone into a new AVI file
// ("Video Cut"), or its audio stream alone into a WAV file in its own format
// ("Audio Cut"). Whole streams, samples unchanged. The desktop page and
// trelvan-cli both run it.
namespace trelvan {

enum class SeparateKind {
    Video,  // Video Cut: an AVI file with the video stream alone
    Audio,  // Audio Cut: a WAV file with the audio stream (the last one)
};

// The output name a command uses for the output field's text: its own stem
// with ".avi" (video) or ".wav" (audio), whatever extension it had. The
// source's stem + "_cut" + that extension when the field was empty, and for
// Audio Cut also when the name is the source's path (case ignored).
std::string SeparateOutputName(const std::string& source, const std::string& output,
                               SeparateKind kind);

struct AviSeparateJob {
    std::string source;
    std::string output;  // as SeparateOutputName made it
    SeparateKind kind = SeparateKind::Video;
};

// Runs the command against `ctx`: refuses an output that is the source file
// itself, however spelled (6006), before anything is deleted; opens the
// source with the video reader (Video Cut) or the audio reader (Audio Cut),
// returning the reader's code when it fails (nothing is written then); then
// saves as SaveAndMoveOver says, the context's percent moving from 0 to 99.
AviSaveRunResult RunAviSeparate(const AviSeparateJob& job, OpContext& ctx,
                                const std::function<void()>& onBegin = {});

}  // namespace trelvan
