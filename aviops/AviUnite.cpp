#include "AviUnite.h"

#include <strings.h>

#include "CDecAVI.h"
#include "CDecWAV.h"
#include "ErrorCodes.h"
#include "KeptChunks.h"
#include "OutputNames.h"

namespace trelvan {

std::string UniteOutputName(const std::string& videoSource, const std::string& output) {
    return output.empty() ? DefaultOutputName(videoSource, "_comb", ".avi") : output;
}

AviSaveRunResult RunAviUnite(const AviUniteJob& job, OpContext& ctx,
                             const std::function<void()>& onBegin) {
    AviSaveRunResult result;
    // Deleting the old output would delete a source.
    if (SameFile(job.videoSource, job.output) || SameFile(job.audioSource, job.output)) {
        result.code = err::kOutputCannotBeMade;
        return result;
    }
    CDecAVI video;
    video.SetFileOpener(ctx.opener);
    result.code = video.Open(job.videoSource);
    if (result.code != 0) {
        return result;
    }
    CDecWAV audio;
    audio.SetFileOpener(ctx.opener);
    result.code = audio.Open(job.audioSource);
    if (result.code != 0) {
        return result;
    }
    const AVICOMPRESSOPTIONS videoOptions = SaveOptionsForVideo(*video.GetVideoStream());
    const AVICOMPRESSOPTIONS audioOptions = SaveOptionsForAudio(*audio.GetAudioStream());
    // The save picks the file type by the name's extension; an output named
    // *.wav still gets an AVI file, so the save is told an AVI name in the
    // same folder (only the temporary file's name is made from it).
    const bool wavName = ::strcasecmp(FileExtension(job.output).c_str(), ".wav") == 0;
    const std::string saveAs = wavName ? job.output + ".avi" : job.output;
    return SaveAndMoveOver(
        job.output, saveAs,
        {{video.GetVideoStream(), &videoOptions}, {audio.GetAudioStream(), &audioOptions}}, ctx,
        onBegin, AviKeptChunks(video));
}

}  // namespace trelvan
