#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "AviSaveRun.h"
#include "OpContext.h"

// AVI unite: the video stream of one AVI file and the audio stream of
// another file (an AVI file with audio, or a WAV file) into one new AVI
// file. Neither stream is converted or cut: each is written whole, with its
// own length. The desktop page and trelvan-cli both run it.
namespace trelvan {

// The output name for the output field's text: the field as it is (its
// extension is kept; the file is an AVI file whatever it is called), or the
// video source's stem + "_comb.avi" when it is empty.
std::string UniteOutputName(const std::string& videoSource, const std::string& output);

struct AviUniteJob {
    std::string videoSource;
    std::string audioSource;
    std::string output;  // as UniteOutputName made it
};

// Runs the command against `ctx`: refuses an output that is either source
// file, however spelled (6006), before anything is deleted; opens the video
// source with the video reader and then the audio source with the audio
// reader (the last audio stream), returning the first reader's code that is
// not 0 (nothing is written then); then saves both streams as
// SaveAndMoveOver says.
AviSaveRunResult RunAviUnite(const AviUniteJob& job, OpContext& ctx,
                             const std::function<void()>& onBegin = {});

}  // namespace trelvan
